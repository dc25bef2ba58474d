#include "telemetry/osinfo.h"

#include "telemetry/physicalmemory.h"

#include <QHostInfo>
#include <QLocale>
#include <QProcessEnvironment>
#include <QStorageInfo>
#include <QSysInfo>

namespace {

QString userName()
{
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString name = env.value(QStringLiteral("USER"));
    if (name.isEmpty())
        name = env.value(QStringLiteral("USERNAME"));
    if (name.isEmpty())
        name = QStringLiteral("Unknown");
    return name;
}

QString volumeSizeText(qint64 bytes)
{
    return gibText(bytes < 0 ? 0 : static_cast<quint64>(bytes));
}

QJsonArray storages()
{
    QJsonArray volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        volumes.append(QJsonObject{
            {QStringLiteral("Name"), volume.displayName()},
            {QStringLiteral("Total size (in GB)"), volumeSizeText(volume.bytesTotal())},
            {QStringLiteral("Free size (in GB)"), volumeSizeText(volume.bytesFree())},
            {QStringLiteral("Available size (in GB)"), volumeSizeText(volume.bytesAvailable())},
        });
    }
    return volumes;
}

} // namespace

QString gibText(quint64 bytes)
{
    return QString::number(static_cast<double>(bytes) / static_cast<double>(1ULL << 30), 'f', 2);
}

OsInfo osInfo()
{
    OsInfo info;
    info.name = QSysInfo::productType();
    info.version = QSysInfo::productVersion();
    info.totalMemory = PhysicalMemory::total();
    const QLocale locale = QLocale::system();
    info.locale = locale.name();
    info.country = QLocale::territoryToString(locale.territory());
    info.architecture = QSysInfo::currentCpuArchitecture();
    info.build = QSysInfo::kernelVersion();
    info.hostName = QHostInfo::localHostName();
    info.userName = userName();
    info.storages = storages();
    return info;
}

QJsonObject toJson(const OsInfo& info)
{
    return QJsonObject{
        {QStringLiteral("name"), info.name},
        {QStringLiteral("version"), info.version},
        {QStringLiteral("totalVirtualMemory"), gibText(info.totalMemory)},
        {QStringLiteral("locale"), info.locale},
        {QStringLiteral("countryCode"), info.country},
        {QStringLiteral("architecture"), info.architecture},
        {QStringLiteral("build"), info.build},
        {QStringLiteral("hostName"), info.hostName},
        {QStringLiteral("userName"), info.userName},
        {QStringLiteral("storages"), info.storages},
    };
}
