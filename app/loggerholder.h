#pragma once

#include <memory>
#include <spdlog/logger.h>

// Sets up the process logger "backend" (asynchronous, daily file plus colour
// console) and shuts the logging library down when destroyed. Destroy it last.
class LoggerHolder {
public:
    LoggerHolder();
    ~LoggerHolder();

    LoggerHolder(const LoggerHolder&) = delete;
    LoggerHolder& operator=(const LoggerHolder&) = delete;

    std::shared_ptr<spdlog::logger> logger() const { return held; }

    // Folder that receives logs/backend_YYYY-MM-DD.txt.
    static std::string logDirectory();
    // Level named by ULVEX_BACKEND_LOG_LEVEL (default info); unknown names give off.
    static spdlog::level::level_enum levelFromEnvironment();

private:
    std::shared_ptr<spdlog::logger> held;
};
