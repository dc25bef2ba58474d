#pragma once

#include "config/devicetype.h"
#include "ulvex_export.h"

#include <QMutex>
#include <QString>
#include <map>

// Process-wide configuration decided at run time. Lives in memory only.
class ULVEX_EXPORT Settings {
public:
    static Settings& instance();

    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    QString applicationName() const;
    QString deviceName() const;

    analyzer::enums::DeviceType deviceCode() const;
    void setDeviceCode(analyzer::enums::DeviceType code);

    bool debugMode() const;
    void setDebugMode(bool on);

    // "-1" means the frontend has not named a database directory yet.
    QString dynamicDbPath() const;
    void setDynamicDbPath(const QString& path);

    QString analyzerSerial() const;
    void setAnalyzerSerial(const QString& serial);

    QString key();

    // Index of the first edition name found in the current directory path, or -1.
    static int detectApplicationEdition();

private:
    Settings();
    ~Settings();

    // The database path and the analyzer serial are written on the session
    // thread and read on others, so both sit behind this mutex.
    mutable QMutex mutex;
    QString dynamicDbPathValue = QStringLiteral("-1");
    QString analyzerSerialValue = QStringLiteral("0000000000000000");
    analyzer::enums::DeviceType code = analyzer::enums::DeviceType::UlvexAnalyzer;
    bool debug = false;
    std::map<analyzer::enums::DeviceType, QString> editionKeys;
};
