#pragma once

#include "ulvex_export.h"

#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QUrl>
#include <chrono>

// Where telemetry goes and how long it may wait. The defaults are what ships;
// the environment lets test set-ups point the program at local servers.
class ULVEX_EXPORT TelemetryConfig {
public:
    // One limit per network request: the probe, each address service, the post.
    static constexpr std::chrono::milliseconds kRequestTimeLimit{10000};
    // The whole step (probe, address look-up, gathering, post) ends within this.
    static constexpr std::chrono::milliseconds kOverallTimeLimit{30000};
    // A reply body beyond this many bytes fails its request; an address
    // service answers a few bytes.
    static constexpr qint64 kReplyBodyLimit = 64 * 1024;
    // Discovery stops after this many directory levels below its root ...
    static constexpr int kFrontendSearchDepth = 6;
    // ... or after this many directory entries, whichever comes first.
    static constexpr int kFrontendSearchEntries = 20000;

    static QString defaultReportServer();
    static QList<QUrl> defaultPublicAddressServices();
    // Four levels above the working directory, where the installation starts.
    static QString defaultFrontendSearchRoot();

    // Reads ULVEX_REPORT_SERVER and ULVEX_PUBLIC_IP_SERVICES; "off" switches
    // the report off, "none" (or "off") the address look-up. ULVEX_FRONTEND_ROOT
    // replaces the frontend search root.
    static TelemetryConfig fromEnvironment(
        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

    QUrl probeUrl() const;
    QUrl reportUrl() const;

    QUrl reportServer = QUrl(defaultReportServer());
    QList<QUrl> publicAddressServices = defaultPublicAddressServices();
    QString frontendSearchRoot = defaultFrontendSearchRoot();
    std::chrono::milliseconds probeTimeLimit = kRequestTimeLimit;
    std::chrono::milliseconds addressTimeLimit = kRequestTimeLimit;
    std::chrono::milliseconds postTimeLimit = kRequestTimeLimit;
    std::chrono::milliseconds overallTimeLimit = kOverallTimeLimit;
    qint64 replyBodyLimit = kReplyBodyLimit;
    int frontendSearchDepth = kFrontendSearchDepth;
    int frontendSearchEntries = kFrontendSearchEntries;
};
