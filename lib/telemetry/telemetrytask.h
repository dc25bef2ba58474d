#pragma once

#include "telemetry/telemetryconfig.h"
#include "telemetry/telemetryfacts.h"
#include "ulvex_export.h"

#include <QThread>
#include <chrono>
#include <memory>
#include <spdlog/logger.h>

class TelemetryLog;

// Runs the session's telemetry step (SessionTelemetry::run) beside the
// session, on a thread of its own with its own event loops and network access
// manager, so the greeting never waits for the network. Owned and driven by
// one thread (the session thread).
class ULVEX_EXPORT TelemetryTask {
public:
    // How long the end of a session waits for an unfinished step.
    static constexpr std::chrono::milliseconds kFinishWait{3000};
    // How long an abandoned step gets to wind down once told to stop.
    static constexpr std::chrono::milliseconds kStopWait{2000};

    TelemetryTask();
    ~TelemetryTask();
    TelemetryTask(const TelemetryTask&) = delete;
    TelemetryTask& operator=(const TelemetryTask&) = delete;

    // Starts the step; returns at once. A second call while one runs is ignored.
    void start(TelemetryFacts facts, TelemetryConfig config);
    bool running() const;
    // Waits up to `wait` for the step to end by itself; then abandons it (logged):
    // every wait of its thread ends at once and nothing more is sent. False when
    // the step had to be abandoned.
    bool finish(std::chrono::milliseconds wait = kFinishWait);

private:
    std::shared_ptr<spdlog::logger> logger;
    std::unique_ptr<QThread> thread;
    std::shared_ptr<TelemetryLog> log;
};
