#include "config/backendlogger.h"

#include <spdlog/spdlog.h>

std::shared_ptr<spdlog::logger> backendLogger()
{
    if (auto logger = spdlog::get("backend"))
        return logger;
    static const auto silent = [] {
        auto logger = std::make_shared<spdlog::logger>("backend-silent");
        logger->set_level(spdlog::level::off);
        return logger;
    }();
    return silent;
}
