#include "telemetry/telemetrylog.h"

#include <spdlog/sinks/sink.h>

// Forwards whole messages to the target under one lock, so close() waits for
// a line in flight and none starts after it.
class TelemetryLog::GateSink final : public spdlog::sinks::sink {
public:
    explicit GateSink(std::shared_ptr<spdlog::logger> target)
        : target(std::move(target))
    {
    }

    void log(const spdlog::details::log_msg& msg) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!target)
            return;
        try {
            target->log(msg.time, msg.source, msg.level, msg.payload);
        } catch (...) {
            // A logger in trouble loses the line; the telemetry thread goes on.
        }
    }
    void flush() override { }
    void set_pattern(const std::string&) override { }
    void set_formatter(std::unique_ptr<spdlog::formatter>) override { }

    void close()
    {
        std::shared_ptr<spdlog::logger> released;
        {
            std::lock_guard<std::mutex> lock(mutex);
            released = std::move(target);
        }
    }
    bool closed()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return !target;
    }

private:
    std::mutex mutex;
    std::shared_ptr<spdlog::logger> target;
};

TelemetryLog::TelemetryLog(std::shared_ptr<spdlog::logger> target)
{
    const auto level = target ? target->level() : spdlog::level::off;
    gate = std::make_shared<GateSink>(std::move(target));
    gated = std::make_shared<spdlog::logger>("backend", gate);
    gated->set_level(level);
    // Nothing of a failed line may leave the thread, not even through stderr.
    gated->set_error_handler([](const std::string&) { });
}

TelemetryLog::~TelemetryLog() = default;

void TelemetryLog::close()
{
    gate->close();
}

bool TelemetryLog::closed() const
{
    return gate->closed();
}
