#pragma once

#include "device/device.h"
#include "telemetry/telemetryconfig.h"
#include "telemetry/telemetryfacts.h"
#include "ulvex_export.h"

#include <QString>

// The session's connectivity probe and telemetry report. Never fails the
// session: the outcome is only logged. The session runs it through
// TelemetryTask, on a thread of its own; run() itself blocks its caller.
class ULVEX_EXPORT SessionTelemetry {
public:
    // What the report needs from the device and the settings, taken now.
    static TelemetryFacts factsOf(Device* device);

    static void run(Device* device) { run(factsOf(device), TelemetryConfig::fromEnvironment()); }
    static void run(Device* device, const TelemetryConfig& config) { run(factsOf(device), config); }
    static void run(const QString& deviceSerialNumber, const TelemetryConfig& config);
    // Probes the report server's root and, when it answers, posts the report;
    // all within config.overallTimeLimit.
    static void run(const TelemetryFacts& facts, const TelemetryConfig& config);
};
