#include "config/backendlogger.h"

#include <spdlog/spdlog.h>

namespace {
thread_local std::shared_ptr<spdlog::logger> threadLogger;
} // namespace

std::shared_ptr<spdlog::logger> backendLogger()
{
    if (threadLogger)
        return threadLogger;
    if (auto logger = spdlog::get("backend"))
        return logger;
    static const auto silent = [] {
        auto logger = std::make_shared<spdlog::logger>("backend-silent");
        logger->set_level(spdlog::level::off);
        return logger;
    }();
    return silent;
}

void setThreadLogger(std::shared_ptr<spdlog::logger> logger)
{
    threadLogger = std::move(logger);
}
