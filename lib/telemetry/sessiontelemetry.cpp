#include "telemetry/sessiontelemetry.h"

#include "config/backendlogger.h"
#include "config/qtformatters.h"
#include "config/settings.h"
#include "telemetry/analyzerreport.h"
#include "telemetry/replywaiter.h"

#include <QDeadlineTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>

TelemetryFacts SessionTelemetry::factsOf(Device* device)
{
    return {device ? device->serialNumber() : QStringLiteral("0000000000"),
            Settings::instance().analyzerSerial()};
}

void SessionTelemetry::run(const QString& deviceSerialNumber, const TelemetryConfig& config)
{
    run(TelemetryFacts{deviceSerialNumber, Settings::instance().analyzerSerial()}, config);
}

void SessionTelemetry::run(const TelemetryFacts& facts, const TelemetryConfig& config)
{
    auto logger = backendLogger();
    const QDeadlineTimer deadline(config.overallTimeLimit);
    bool reachable = false;
    if (config.reportServer.isValid()) {
        QNetworkAccessManager manager;
        QNetworkReply* reply = manager.get(QNetworkRequest(config.probeUrl()));
        const auto probed = ReplyWaiter::wait(reply, ReplyWaiter::capped(config.probeTimeLimit, deadline),
            config.replyBodyLimit);
        if (!probed)
            logger->debug("Report server probe failed: {}", probed.error());
        reachable = probed.has_value();
        reply->deleteLater();
    }
    if (reachable && !QThread::currentThread()->isInterruptionRequested()) {
        std::expected<bool, QString> result;
        {
            AnalyzerReport report(facts, config, deadline);
            result = report.sendReport();
        }
        if (result)
            logger->info("Telemetry collected successfully");
        else
            logger->error("Failed to collect telemetry. {}", result.error());
    }
    logger->trace("Server connection check done");
}
