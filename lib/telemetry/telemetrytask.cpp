#include "telemetry/telemetrytask.h"

#include "config/backendlogger.h"
#include "telemetry/sessiontelemetry.h"
#include "telemetry/telemetrylog.h"

#include <QDeadlineTimer>

TelemetryTask::TelemetryTask()
    : logger(backendLogger())
{
}

TelemetryTask::~TelemetryTask()
{
    finish();
}

void TelemetryTask::start(TelemetryFacts facts, TelemetryConfig config)
{
    if (running())
        return;
    // The thread owns what it uses (its copies and the gate), so one left
    // behind never touches the session's state once the session is gone.
    log = std::make_shared<TelemetryLog>(logger);
    thread.reset(QThread::create([log = log, facts = std::move(facts), config = std::move(config)] {
        setThreadLogger(log->logger());
        try {
            SessionTelemetry::run(facts, config);
        } catch (...) {
            // Telemetry never ends the process.
        }
        setThreadLogger(nullptr);
    }));
    thread->setObjectName(QStringLiteral("telemetry"));
    thread->start();
}

bool TelemetryTask::running() const
{
    return thread && !thread->isFinished();
}

bool TelemetryTask::finish(std::chrono::milliseconds wait)
{
    if (!thread)
        return true;
    if (!thread->wait(QDeadlineTimer(wait))) {
        logger->warn("Telemetry unfinished after {} ms, abandoning it", wait.count());
        thread->requestInterruption();
        // Ends every event loop of that thread, so each network wait returns now.
        thread->quit();
        if (!thread->wait(QDeadlineTimer(kStopWait))) {
            // Busy outside any wait (a slow disk walk, say): the process exit
            // ends it, and from now on it logs nowhere.
            log->close();
            logger->warn("Telemetry still busy, leaving it behind");
            static_cast<void>(thread.release());
            return false;
        }
        thread.reset();
        return false;
    }
    thread.reset();
    return true;
}
