#include "telemetry/analyzerreport.h"

#include "config/qtformatters.h"
#include "config/settings.h"
#include "telemetry/cpuinfo.h"
#include "telemetry/fileversion.h"
#include "telemetry/findfrontend.h"
#include "telemetry/osinfo.h"
#include "telemetry/publicaddress.h"
#include "telemetry/regularfile.h"
#include "telemetry/replywaiter.h"
#include "config/backendlogger.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>

AnalyzerReport::AnalyzerReport(QString deviceSerialNumber, TelemetryConfig config, QObject* parent)
    : QObject(parent)
    , logger(backendLogger())
    , facts{std::move(deviceSerialNumber), QString()}
    , uidFromSettings(true)
    , config(std::move(config))
{
}

AnalyzerReport::AnalyzerReport(TelemetryFacts facts, TelemetryConfig config, QDeadlineTimer deadline,
    QObject* parent)
    : QObject(parent)
    , logger(backendLogger())
    , facts(std::move(facts))
    , config(std::move(config))
    , deadline(deadline)
{
}

AnalyzerReport::~AnalyzerReport() = default;

std::expected<bool, QString> AnalyzerReport::sendReport()
{
    const TelemetryData data = collectTelemetry();
    if (QThread::currentThread()->isInterruptionRequested())
        return std::unexpected(QStringLiteral("Telemetry stopped before the report was posted"));
    return postTelemetry(data);
}

TelemetryData AnalyzerReport::collectTelemetry()
{
    logger->trace("Gathering information for telemetry report");
    const QString frontend = findFrontend(config.frontendSearchRoot, config.frontendSearchDepth,
        config.frontendSearchEntries)
                                 .value_or(QStringLiteral("Could not detect frontend"));

    TelemetryData data;
    // The look-up leaves the post its own time within the overall limit.
    QDeadlineTimer lookupDeadline = deadline;
    if (!lookupDeadline.isForever())
        lookupDeadline -= config.postTimeLimit.count();
    const QHostAddress address = publicAddress(config.publicAddressServices, config.addressTimeLimit,
        lookupDeadline, config.replyBodyLimit);
    data.ipAddress = address.isNull() ? QString() : address.toString();
    logger->debug("IP Address: {}", data.ipAddress);
    data.osInfo = QString::fromUtf8(QJsonDocument(toJson(osInfo())).toJson(QJsonDocument::Compact));
    logger->debug("OS Info: {}", data.osInfo);
    data.computerInfo = QString::fromUtf8(QJsonDocument(toJson(cpuInfo(deadline))).toJson(QJsonDocument::Compact));
    logger->debug("Computer Info: {}", data.computerInfo);

    // left() and mid() stop at the end of a short text.
    const QString uid = uidFromSettings ? Settings::instance().analyzerSerial() : facts.analyzerUid;
    data.analyzerVersion = uid.left(12);
    logger->debug("Analyzer Version: {}", data.analyzerVersion);
    data.analyzerSerial = uid.mid(12, 4);
    logger->debug("Analyzer Serial: {}", data.analyzerSerial);

    data.analyzerCode = RegularFile::exists(frontend) ? QFileInfo(frontend).baseName()
                                                      : QStringLiteral("No fronted found");
    logger->debug("Analyzer Code: {}", data.analyzerCode);
    data.ftdiSerial = facts.deviceSerialNumber.left(8);
    logger->debug("FTDI Serial: {}", data.ftdiSerial);
    data.frontendVersion = fileVersionString(frontend).left(5);
    logger->debug("Frontend Version: {}", data.frontendVersion);
    data.backendVersion = QString::fromLatin1(kBackendVersion);
    logger->debug("Backend Version: {}", data.backendVersion);
    return data;
}

std::expected<bool, QString> AnalyzerReport::postTelemetry(const TelemetryData& data)
{
    QNetworkAccessManager manager;
    // Logged only: certificate problems are not ignored, so the request fails.
    connect(&manager, &QNetworkAccessManager::sslErrors, this,
        [this](QNetworkReply*, const QList<QSslError>&) { logger->trace("ssl error"); });

    const QByteArray body = QJsonDocument(data.toJson()).toJson(QJsonDocument::Indented);
    QNetworkRequest request(config.reportUrl());
    request.setRawHeader("Content-Type", "application/json");
    request.setRawHeader("Content-Length", QByteArray::number(body.size()));
    // A redirected post would arrive as a GET without the report, and its
    // answer would read as delivered: only the report URL itself counts.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);

    if (deadline.hasExpired()) {
        return std::unexpected(QStringLiteral("Telemetry time limit of %1 ms reached before the post")
                                   .arg(config.overallTimeLimit.count()));
    }
    QNetworkReply* reply = manager.post(request, body);
    const auto waited = ReplyWaiter::wait(reply, ReplyWaiter::capped(config.postTimeLimit, deadline),
        config.replyBodyLimit);
    reply->deleteLater();
    if (!waited)
        return std::unexpected(waited.error());
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299)
        return std::unexpected(QStringLiteral("server replied with HTTP status %1").arg(status));
    return true;
}
