#pragma once

#include "ulvex_export.h"

#include <memory>
#include <spdlog/logger.h>

// The process logger "backend" from the registry. Code that runs without the
// program's start-up (tools, unit tests) gets a silent stand-in instead of null.
ULVEX_EXPORT std::shared_ptr<spdlog::logger> backendLogger();
