#include "telemetry/cpuinfo.h"

#include "config/qtformatters.h"
#include "telemetry/proccpuinfo.h"
#include "config/backendlogger.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <exception>

namespace {

constexpr int kWmicTimeLimitMs = 30000;

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

bool wmicAvailable()
{
#if defined(Q_OS_WIN)
    return true;
#else
    return !QStandardPaths::findExecutable(QStringLiteral("wmic")).isEmpty();
#endif
}

// The tool's output, or nothing when it does not start or finish in time.
std::optional<QByteArray> runWmic(const QDeadlineTimer& deadline)
{
    auto logger = backendLogger();
    QProcess process;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool done = false;
    QObject::connect(&process, &QProcess::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            loop.quit();
    });
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    process.start(QStringLiteral("wmic"),
        {QStringLiteral("cpu"), QStringLiteral("get"), QStringLiteral("/ALL"), QStringLiteral("/FORMAT:list")},
        QIODevice::ReadWrite);
    // The tool waits for the end of its input before it exits.
    process.closeWriteChannel();
    if (process.state() != QProcess::NotRunning || process.error() != QProcess::FailedToStart) {
        timer.start(deadline.isForever()
                ? kWmicTimeLimitMs
                : static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 0, kWmicTimeLimitMs)));
        if (!done)
            loop.exec();
    }
    if (!done) {
        logger->debug("{}", process.errorString());
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(1000);
        }
        return std::nullopt;
    }
    return process.readAllStandardOutput();
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
    CpuInfo info;
    if (wmicAvailable()) {
        const std::optional<QByteArray> output = runWmic(deadline);
        if (!output)
            return CpuInfo{};
        const QString text = QString::fromUtf8(*output);
        logger->debug("lines {}", text.split(QLatin1Char('\n')).size());
        info = parseWmicCpuList(text);
    } else {
        info = ProcCpuInfo::read();
    }
    logger->trace("Getting CPU info end");
    return info;
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
