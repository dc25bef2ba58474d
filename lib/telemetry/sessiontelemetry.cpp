#include "telemetry/sessiontelemetry.h"

#include "config/qtformatters.h"
#include "telemetry/analyzerreport.h"
#include "telemetry/replywaiter.h"
#include "config/backendlogger.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

void SessionTelemetry::run(const QString& deviceSerialNumber, const TelemetryConfig& config)
{
    auto logger = backendLogger();
    bool reachable = false;
    if (config.reportServer.isValid()) {
        QNetworkAccessManager manager;
        QNetworkReply* reply = manager.get(QNetworkRequest(config.probeUrl()));
        reachable = ReplyWaiter::wait(reply, config.probeTimeLimit).has_value();
        reply->deleteLater();
    }
    if (reachable) {
        std::expected<bool, QString> result;
        {
            AnalyzerReport report(deviceSerialNumber, config);
            result = report.sendReport();
        }
        if (result)
            logger->info("Telemetry collected successfully");
        else
            logger->error("Failed to collect telemetry. {}", result.error());
    }
    logger->trace("Server connection check done");
}
