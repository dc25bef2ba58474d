#include "telemetry/telemetryconfig.h"

#include "config/qtformatters.h"
#include "config/backendlogger.h"

#include <QDir>
#include <QHostAddress>

namespace {

const QString kReportServerVariable = QStringLiteral("ULVEX_REPORT_SERVER");
const QString kAddressServicesVariable = QStringLiteral("ULVEX_PUBLIC_IP_SERVICES");
const QString kFrontendRootVariable = QStringLiteral("ULVEX_FRONTEND_ROOT");

bool isLoopbackHost(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// The report describes the host, so it travels over TLS. Plain HTTP is
// accepted only for loopback servers, which is what local test set-ups use.
bool acceptableReportServer(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    return url.scheme() == QLatin1String("http") && isLoopbackHost(url.host());
}

bool acceptableService(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

} // namespace

QString TelemetryConfig::defaultReportServer()
{
    return QStringLiteral("https://reports.ulvex-analyzer.com");
}

QList<QUrl> TelemetryConfig::defaultPublicAddressServices()
{
    return {
        QUrl(QStringLiteral("https://api4.ipify.org/")),
        QUrl(QStringLiteral("https://icanhazip.com/")),
        QUrl(QStringLiteral("https://ifconfig.me/ip")),
        QUrl(QStringLiteral("https://checkip.amazonaws.com/")),
        QUrl(QStringLiteral("https://wtfismyip.com/text")),
        QUrl(QStringLiteral("http://api.ipify.org/")),
    };
}

QString TelemetryConfig::defaultFrontendSearchRoot()
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(QStringLiteral("../../../../")));
}

TelemetryConfig TelemetryConfig::fromEnvironment(const QProcessEnvironment& env)
{
    TelemetryConfig config;
    auto logger = backendLogger();

    const QString server = env.value(kReportServerVariable).trimmed();
    if (server.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0) {
        config.reportServer = QUrl();
        logger->info("Telemetry is off ({}={})", kReportServerVariable, server);
    } else if (!server.isEmpty()) {
        const QUrl url(server);
        // A bad value disables the report rather than silently sending it
        // somewhere the operator did not ask for.
        if (acceptableReportServer(url)) {
            config.reportServer = url;
        } else {
            config.reportServer = QUrl();
            logger->warn("Ignoring {}={}: not an https URL (http only for loopback)",
                kReportServerVariable, server);
        }
    }

    const QString services = env.value(kAddressServicesVariable).trimmed();
    if (services.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0
        || services.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0) {
        config.publicAddressServices = {};
        logger->debug("Public address look-up is off ({}={})", kAddressServicesVariable, services);
    } else if (!services.isEmpty()) {
        QList<QUrl> urls;
        for (const QString& part : services.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QUrl url(part.trimmed());
            if (acceptableService(url))
                urls.append(url);
            else
                logger->warn("Ignoring public address service '{}'", part.trimmed());
        }
        // Once set, the variable replaces the defaults even when nothing in it
        // is usable: a test set-up must never fall back to public services.
        config.publicAddressServices = urls;
    }

    const QString frontendRoot = env.value(kFrontendRootVariable);
    if (!frontendRoot.isEmpty()) {
        config.frontendSearchRoot = QDir::cleanPath(QDir::current().absoluteFilePath(frontendRoot));
        logger->debug("Frontend search root: {} ({})", config.frontendSearchRoot, kFrontendRootVariable);
    }
    return config;
}

QUrl TelemetryConfig::probeUrl() const
{
    QUrl url = reportServer;
    url.setPath(QStringLiteral("/"));
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

QUrl TelemetryConfig::reportUrl() const
{
    QUrl url = probeUrl();
    url.setPath(QStringLiteral("/reports/analyzer/"));
    return url;
}
