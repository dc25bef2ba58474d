#include "telemetry/osinfo.h"

#include <QHostInfo>
#include <QLocale>
#include <QProcessEnvironment>
#include <QStorageInfo>
#include <QSysInfo>
#include <limits>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_LINUX)
#include <sys/sysinfo.h>
#endif

namespace {

// All bits set marks a total that could not be read.
constexpr quint64 kUnknownMemory = std::numeric_limits<quint64>::max();

quint64 totalPhysicalMemory()
{
#if defined(Q_OS_WIN)
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status))
        return kUnknownMemory;
    return status.ullTotalPhys;
#elif defined(Q_OS_LINUX)
    struct sysinfo info{};
    if (sysinfo(&info) != 0)
        return kUnknownMemory;
    return static_cast<quint64>(info.totalram) * info.mem_unit;
#else
    return kUnknownMemory;
#endif
}

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
    info.totalMemory = totalPhysicalMemory();
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
