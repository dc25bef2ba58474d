#pragma once

#include "ulvex_export.h"

#include <memory>
#include <spdlog/logger.h>

// The process logger "backend" from the registry. Code that runs without the
// program's start-up (tools, unit tests) gets a silent stand-in instead of null.
// A thread that set a logger of its own with setThreadLogger gets that one.
ULVEX_EXPORT std::shared_ptr<spdlog::logger> backendLogger();

// Gives the calling thread its own logger (null: the process logger again), for
// a thread that may outlive the process logger and must log through a gate.
ULVEX_EXPORT void setThreadLogger(std::shared_ptr<spdlog::logger> logger);
