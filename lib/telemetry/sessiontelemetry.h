#pragma once

#include "device/device.h"
#include "telemetry/telemetryconfig.h"
#include "ulvex_export.h"

#include <QString>

// The session's connectivity probe and telemetry report, run once during the
// session set-up on the session thread. Never fails the session: the outcome
// is only logged.
class ULVEX_EXPORT SessionTelemetry {
public:
    static void run(Device* device)
    {
        run(device ? device->serialNumber() : QStringLiteral("0000000000"),
            TelemetryConfig::fromEnvironment());
    }
    static void run(Device* device, const TelemetryConfig& config)
    {
        run(device ? device->serialNumber() : QStringLiteral("0000000000"), config);
    }
    // Probes the report server's root and, when it answers, posts the report.
    static void run(const QString& deviceSerialNumber, const TelemetryConfig& config);
};
