#pragma once

#include <memory>
#include <spdlog/logger.h>

// The "backend" logger, or a silent stand-in when none is registered, so the
// telemetry helpers can run in tools and tests that set up no logging.
std::shared_ptr<spdlog::logger> telemetryLogger();
