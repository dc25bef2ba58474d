#include "telemetry/telemetrylog.h"

#include <spdlog/spdlog.h>

std::shared_ptr<spdlog::logger> telemetryLogger()
{
    if (auto logger = spdlog::get("backend"))
        return logger;
    static const auto silent = std::make_shared<spdlog::logger>("telemetry-silent");
    return silent;
}
