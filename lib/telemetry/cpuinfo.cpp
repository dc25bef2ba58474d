#include "telemetry/cpuinfo.h"

#include "config/backendlogger.h"
#include "config/qtformatters.h"
#include "telemetry/cpuinfosource.h"

#include <QDeadlineTimer>
#include <QStringList>
#include <exception>

namespace {

quint16 toUInt16(const QString& value)
{
    bool ok = false;
    const ushort number = value.toUShort(&ok);
    return ok ? number : 0;
}

quint32 toUInt32(const QString& value)
{
    bool ok = false;
    const uint number = value.toUInt(&ok);
    return ok ? number : 0;
}

void store(CpuInfo& info, const QString& key, const QString& value)
{
    if (key == QLatin1String("DeviceID"))
        info.deviceId = value;
    else if (key == QLatin1String("SocketDesignation"))
        info.socket = value;
    else if (key == QLatin1String("Name"))
        info.name = value;
    else if (key == QLatin1String("Description"))
        info.description = value;
    else if (key == QLatin1String("AddressWidth"))
        info.addressWidth = toUInt16(value);
    else if (key == QLatin1String("DataWidth"))
        info.dataWidth = toUInt16(value);
    else if (key == QLatin1String("Architecture"))
        info.architecture = toUInt16(value);
    else if (key == QLatin1String("MaxClockSpeed"))
        info.maxClockSpeed = toUInt32(value);
    else if (key == QLatin1String("ExtClock"))
        info.externalClock = toUInt32(value);
    else if (key == QLatin1String("L2CacheSize"))
        info.l2CacheSize = toUInt32(value);
    else if (key == QLatin1String("L3CacheSize"))
        info.l3CacheSize = toUInt32(value);
    else if (key == QLatin1String("NumberOfCores"))
        info.numberOfCores = toUInt32(value);
    else if (key == QLatin1String("ThreadCount"))
        info.threadCount = toUInt32(value);
}

} // namespace

CpuInfo parseWmicCpuList(const QString& text)
{
    CpuInfo info;
    try {
        for (const QString& line : text.split(QLatin1Char('\n'))) {
            const QStringList parts = line.split(QLatin1Char('='));
            if (parts.size() != 2)
                continue;
            store(info, parts.at(0).trimmed(), parts.at(1).trimmed());
        }
    } catch (const std::exception& e) {
        backendLogger()->error("Error: {}", e.what());
    }
    return info;
}

CpuInfo cpuInfo()
{
    return cpuInfo(QDeadlineTimer(QDeadlineTimer::Forever));
}

CpuInfo cpuInfo(const QDeadlineTimer& deadline)
{
    auto logger = backendLogger();
    logger->trace("Getting CPU info begin");
    const std::optional<CpuInfo> info = CpuInfoSource::read(deadline);
    if (!info)
        return CpuInfo{};
    logger->trace("Getting CPU info end");
    return *info;
}

QJsonObject toJson(const CpuInfo& info)
{
    return QJsonObject{
        {QStringLiteral("ID"), info.deviceId},
        {QStringLiteral("Socket"), info.socket},
        {QStringLiteral("Name"), info.name},
        {QStringLiteral("Description"), info.description},
        {QStringLiteral("AddressWidth"), static_cast<int>(info.addressWidth)},
        {QStringLiteral("DataWidth"), static_cast<int>(info.dataWidth)},
        {QStringLiteral("Architecture"), static_cast<int>(info.architecture)},
        {QStringLiteral("SpeedMHz"), QString::number(info.maxClockSpeed)},
        {QStringLiteral("BusSpeedMHz"), QString::number(info.externalClock)},
        {QStringLiteral("L2Cache"), QString::number(info.l2CacheSize)},
        {QStringLiteral("L3Cache"), QString::number(info.l3CacheSize)},
        {QStringLiteral("Cores"), QString::number(info.numberOfCores)},
        {QStringLiteral("Threads"), QString::number(info.threadCount)},
    };
}
