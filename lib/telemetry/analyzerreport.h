#pragma once

#include "telemetry/telemetryconfig.h"
#include "telemetry/telemetrydata.h"
#include "telemetry/telemetryfacts.h"
#include "ulvex_export.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <expected>
#include <memory>
#include <spdlog/logger.h>

// Gathers the facts about host, analyzer, frontend and backend and posts them
// to the report server. Used once per session, on the telemetry thread; the
// object must outlive sendReport.
class ULVEX_EXPORT AnalyzerReport : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kBackendVersion = "4.2.2";

    // deviceSerialNumber: serial-port serial number of the session's device;
    // the analyzer UID is read from Settings when the report is gathered.
    explicit AnalyzerReport(QString deviceSerialNumber,
        TelemetryConfig config = TelemetryConfig::fromEnvironment(), QObject* parent = nullptr);
    // Everything from facts; nothing waits past deadline.
    AnalyzerReport(TelemetryFacts facts, TelemetryConfig config, QDeadlineTimer deadline,
        QObject* parent = nullptr);
    ~AnalyzerReport() override;

    // collectTelemetry then postTelemetry.
    std::expected<bool, QString> sendReport();
    TelemetryData collectTelemetry();
    // True once the server accepted the post; otherwise the error text.
    std::expected<bool, QString> postTelemetry(const TelemetryData& data);

private:
    std::shared_ptr<spdlog::logger> logger;
    TelemetryFacts facts;
    bool uidFromSettings = false;
    TelemetryConfig config;
    QDeadlineTimer deadline{QDeadlineTimer::Forever};
};
