#include "telemetry/proccpuinfo.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QSysInfo>
#include <cmath>

namespace {

QString readText(const QString& path)
{
    QFile file(path);
    // Kernel files report a size of 0, so read until the end instead of by size.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

// Cache sizes like "256K", "8M" or "32768" (bytes) in KiB.
quint32 cacheKiB(const QString& size)
{
    QString digits = size.trimmed();
    quint64 scale = 0;
    if (digits.endsWith(QLatin1Char('K'))) {
        scale = 1;
        digits.chop(1);
    } else if (digits.endsWith(QLatin1Char('M'))) {
        scale = 1024;
        digits.chop(1);
    }
    bool ok = false;
    const quint64 value = digits.toULongLong(&ok);
    if (!ok)
        return 0;
    const quint64 kib = scale ? value * scale : value / 1024;
    return kib > 0xffffffffULL ? 0 : static_cast<quint32>(kib);
}

// Total size per cache level, each shared cache counted once.
QHash<int, quint32> cacheTotals(const QString& sysCpuDir)
{
    QHash<int, quint32> totals;
    QSet<QString> seen;
    const QDir root(sysCpuDir);
    const QStringList cpus = root.entryList({QStringLiteral("cpu[0-9]*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& cpu : cpus) {
        const QDir cacheDir(root.filePath(cpu + QStringLiteral("/cache")));
        for (const QString& index : cacheDir.entryList({QStringLiteral("index*")}, QDir::Dirs)) {
            const QString dir = cacheDir.filePath(index);
            const QString type = readText(dir + QStringLiteral("/type"));
            if (type == QLatin1String("Instruction"))
                continue;
            const int level = readText(dir + QStringLiteral("/level")).toInt();
            const QString key = QString::number(level) + QLatin1Char('/')
                + readText(dir + QStringLiteral("/shared_cpu_list"));
            if (level <= 0 || seen.contains(key))
                continue;
            seen.insert(key);
            totals[level] += cacheKiB(readText(dir + QStringLiteral("/size")));
        }
    }
    return totals;
}

// The same processor architecture codes the Windows tool reports.
quint16 architectureCode()
{
    const QString arch = QSysInfo::currentCpuArchitecture();
    if (arch == QLatin1String("x86_64"))
        return 9;
    if (arch == QLatin1String("arm64"))
        return 12;
    if (arch.startsWith(QLatin1String("arm")))
        return 5;
    return 0;
}

quint32 uint32OrZero(const QString& text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    return ok ? value : 0;
}

} // namespace

CpuInfo ProcCpuInfo::read()
{
    return parse(readText(QStringLiteral("/proc/cpuinfo")), QStringLiteral("/sys/devices/system/cpu"));
}

CpuInfo ProcCpuInfo::parse(const QString& cpuinfoText, const QString& sysCpuDir)
{
    // Only the first processor block is described, as one socket.
    QHash<QString, QString> first;
    int processors = 0;
    for (const QString& line : cpuinfoText.split(QLatin1Char('\n'))) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        const QString key = line.left(colon).trimmed();
        if (key == QLatin1String("processor"))
            ++processors;
        if (processors <= 1 && !first.contains(key))
            first.insert(key, line.mid(colon + 1).trimmed());
    }

    CpuInfo info;
    if (processors == 0)
        return info;
    info.deviceId = QStringLiteral("CPU") + first.value(QStringLiteral("physical id"), QStringLiteral("0"));
    info.name = first.value(QStringLiteral("model name"), first.value(QStringLiteral("Hardware")));
    if (first.contains(QStringLiteral("cpu family"))) {
        const QString vendor = first.value(QStringLiteral("vendor_id"));
        const QString family = vendor == QLatin1String("GenuineIntel") ? QStringLiteral("Intel64")
            : vendor == QLatin1String("AuthenticAMD")                  ? QStringLiteral("AMD64")
                                                                       : QSysInfo::currentCpuArchitecture();
        info.description = QStringLiteral("%1 Family %2 Model %3 Stepping %4")
                               .arg(family, first.value(QStringLiteral("cpu family")),
                                   first.value(QStringLiteral("model")), first.value(QStringLiteral("stepping")));
    }
    info.addressWidth = static_cast<quint16>(QSysInfo::WordSize);
    info.dataWidth = static_cast<quint16>(QSysInfo::WordSize);
    info.architecture = architectureCode();

    const quint32 maxKHz = uint32OrZero(readText(sysCpuDir + QStringLiteral("/cpu0/cpufreq/cpuinfo_max_freq")));
    if (maxKHz > 0) {
        info.maxClockSpeed = maxKHz / 1000;
    } else {
        const double mhz = first.value(QStringLiteral("cpu MHz")).toDouble();
        info.maxClockSpeed = mhz > 0 && mhz < 4.0e9 ? static_cast<quint32>(std::lround(mhz)) : 0;
    }

    const QHash<int, quint32> caches = cacheTotals(sysCpuDir);
    info.l2CacheSize = caches.value(2);
    info.l3CacheSize = caches.value(3);

    const quint32 cores = uint32OrZero(first.value(QStringLiteral("cpu cores")));
    const quint32 threads = uint32OrZero(first.value(QStringLiteral("siblings")));
    info.numberOfCores = cores ? cores : static_cast<quint32>(processors);
    info.threadCount = threads ? threads : static_cast<quint32>(processors);
    return info;
}
