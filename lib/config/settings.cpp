#include "config/settings.h"

#include <QDir>
#include <QMutexLocker>
#include <QStringList>

using analyzer::enums::DeviceType;

Settings& Settings::instance()
{
    static Settings settings;
    return settings;
}

Settings::Settings()
    : editionKeys{
        {DeviceType::UlvexAnalyzer, QStringLiteral("Q7#mR2&vX9!k")},
        {DeviceType::UlvexAnalyzerAlt, QStringLiteral("Q7#mR2&vX9!k")},
        {DeviceType::MorvaneScanner, QStringLiteral("H4$tW8&pL1*z")},
        {DeviceType::KestrinScanner, QStringLiteral("N6%bC3^fJ5?y")},
        {DeviceType::MoxScan, QStringLiteral("T2!gK9#sV4=w")},
        {DeviceType::HalvionCheckUp, QStringLiteral("P8*dM1%hY6+q")},
    }
{
}

Settings::~Settings() = default;

QString Settings::applicationName() const
{
    switch (deviceCode()) {
    case DeviceType::UlvexAnalyzer:
    case DeviceType::UlvexAnalyzerAlt:
        return QStringLiteral("Ulvex Analyzer");
    case DeviceType::MorvaneScanner:
        return QStringLiteral("Morvane Scanner");
    case DeviceType::KestrinScanner:
        return QStringLiteral("Kestrin Scanner");
    case DeviceType::MoxScan:
        return QStringLiteral("moXSCAN");
    case DeviceType::HalvionCheckUp:
        return QStringLiteral("Halvion Check-Up");
    }
    return QStringLiteral("Unknown");
}

QString Settings::deviceName() const
{
    return applicationName();
}

DeviceType Settings::deviceCode() const
{
    QMutexLocker lock(&mutex);
    return code;
}

void Settings::setDeviceCode(DeviceType newCode)
{
    QMutexLocker lock(&mutex);
    code = newCode;
}

bool Settings::debugMode() const
{
    QMutexLocker lock(&mutex);
    return debug;
}

void Settings::setDebugMode(bool on)
{
    QMutexLocker lock(&mutex);
    debug = on;
}

QString Settings::dynamicDbPath() const
{
    QMutexLocker lock(&mutex);
    return dynamicDbPathValue;
}

void Settings::setDynamicDbPath(const QString& path)
{
    QMutexLocker lock(&mutex);
    dynamicDbPathValue = path;
}

QString Settings::analyzerSerial() const
{
    QMutexLocker lock(&mutex);
    return analyzerSerialValue;
}

void Settings::setAnalyzerSerial(const QString& serial)
{
    QMutexLocker lock(&mutex);
    analyzerSerialValue = serial;
}

QString Settings::key()
{
    const auto it = editionKeys.find(deviceCode());
    if (it == editionKeys.end())
        return QStringLiteral("Unknown");
    return it->second;
}

int Settings::detectApplicationEdition()
{
    static const QStringList editions = {
        QStringLiteral("Ulvex Analyzer"), QStringLiteral("Morvane Scanner"),
        QStringLiteral("Tarrow Scanner"), QStringLiteral("Kestrin Scanner"),
        QStringLiteral("moXSCAN"),        QStringLiteral("Halvion Check-Up"),
    };
    const QString path = QDir::currentPath();
    for (int i = 0; i < editions.size(); ++i) {
        if (path.contains(editions.at(i), Qt::CaseSensitive))
            return i;
    }
    return -1;
}
