#include "telemetry/publicaddress.h"

#include "config/qtformatters.h"
#include "telemetry/replywaiter.h"
#include "telemetry/telemetryconfig.h"
#include "config/backendlogger.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QThread>

QHostAddress findIPv4Address(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(
        "(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\."
        "(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return {};
    return QHostAddress(match.captured(0));
}

QHostAddress publicAddress()
{
    const TelemetryConfig config = TelemetryConfig::fromEnvironment();
    return publicAddress(config.publicAddressServices, config.addressTimeLimit);
}

QHostAddress publicAddress(const QList<QUrl>& services, std::chrono::milliseconds limitPerService)
{
    return publicAddress(services, limitPerService, QDeadlineTimer(QDeadlineTimer::Forever),
        TelemetryConfig::kReplyBodyLimit);
}

QHostAddress publicAddress(const QList<QUrl>& services, std::chrono::milliseconds limitPerService,
    const QDeadlineTimer& deadline, qint64 maxBody)
{
    auto logger = backendLogger();
    QNetworkAccessManager manager;
    for (const QUrl& service : services) {
        if (deadline.hasExpired() || QThread::currentThread()->isInterruptionRequested()) {
            logger->debug("Public address look-up stopped before {}", service.toString());
            break;
        }
        QNetworkReply* reply = manager.get(QNetworkRequest(service));
        const auto waited = ReplyWaiter::wait(reply, ReplyWaiter::capped(limitPerService, deadline), maxBody);
        if (!waited) {
            logger->debug("Public address service {} failed: {}", service.toString(), waited.error());
            reply->deleteLater();
            continue;
        }
        const QHostAddress address = findIPv4Address(QString::fromUtf8(reply->read(maxBody)));
        reply->deleteLater();
        if (!address.isNull())
            return address;
        logger->debug("Public address service {} gave no address", service.toString());
    }
    return {};
}
