#pragma once

#include "ulvex_export.h"

#include <memory>
#include <mutex>
#include <spdlog/logger.h>

// The telemetry thread's logger. Its lines pass to the process logger until
// close(); after that they are dropped, and the process logger is no longer
// held. A telemetry thread left behind at the end of a session therefore never
// reaches a logger that has shut down, whenever it wakes up.
class ULVEX_EXPORT TelemetryLog {
public:
    explicit TelemetryLog(std::shared_ptr<spdlog::logger> target);
    ~TelemetryLog();
    TelemetryLog(const TelemetryLog&) = delete;
    TelemetryLog& operator=(const TelemetryLog&) = delete;

    // The logger for the telemetry thread to use.
    std::shared_ptr<spdlog::logger> logger() const { return gated; }
    // Once it returns, no line reaches the process logger any more.
    void close();
    bool closed() const;

private:
    class GateSink;
    std::shared_ptr<GateSink> gate;
    std::shared_ptr<spdlog::logger> gated;
};
