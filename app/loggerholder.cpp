#include "loggerholder.h"

#include "consolesink.h"
#include "dailybytecap.h"

#include "config/settings.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QStandardPaths>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <spdlog/async.h>
#include <spdlog/sinks/daily_file_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

namespace {
constexpr const char* loggerName = "backend";
} // namespace

std::string LoggerHolder::logDirectory()
{
    Settings& settings = Settings::instance();
    const QString dynamicPath = settings.dynamicDbPath();
    if (dynamicPath != QLatin1String("-1"))
        return dynamicPath.toStdString();

    // The data location ends with this program's own name; the log belongs
    // beside it, in the folder named after the edition.
    QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    dataDir.chop(QCoreApplication::applicationName().size());
    return (dataDir + settings.applicationName()).toStdString();
}

spdlog::level::level_enum LoggerHolder::levelFromEnvironment()
{
    std::string name = "info";
    if (qEnvironmentVariableIsSet("ULVEX_BACKEND_LOG_LEVEL"))
        name = qgetenv("ULVEX_BACKEND_LOG_LEVEL").toStdString();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return spdlog::level::from_str(name);
}

LoggerHolder::LoggerHolder()
{
    try {
        spdlog::init_thread_pool(8192, 1);
        // A console nobody reads must never stop the program (the log worker
        // would block, then every log call): lines drop there instead, and the
        // file keeps them all. Without a way to write standard output without
        // blocking, the console is left out.
        const spdlog::sink_ptr console = ConsoleSink::forStdout();
        auto* nonBlocking = dynamic_cast<ConsoleSink*>(console.get());
        const auto level = levelFromEnvironment();
        std::vector<spdlog::sink_ptr> sinks;
        try {
            const std::string base = logDirectory() + "/logs/backend.txt";
            auto daily = std::make_shared<spdlog::sinks::daily_file_sink_mt>(base, 23, 59, false, 7);
            auto file = std::make_shared<DailyByteCap>(daily);
            file->set_level(level);
            sinks.push_back(file);
            if (nonBlocking)
                nonBlocking->setReportSink(file);
        } catch (const std::exception& e) {
            // No writable log folder: keep the console so the program still runs and says why.
            if (nonBlocking)
                nonBlocking->writeRawLine(e.what());
            else if (console)
                std::fprintf(stdout, "%s\n", e.what());
        }
        if (console) {
            console->set_level(level);
            sinks.push_back(console);
        }

        held = std::make_shared<spdlog::async_logger>(loggerName, sinks.begin(), sinks.end(),
                                                      spdlog::thread_pool(),
                                                      spdlog::async_overflow_policy::block);
        held->set_level(level);
        spdlog::register_logger(held);
        spdlog::set_default_logger(held);
        spdlog::flush_every(std::chrono::seconds(3));
    } catch (const std::exception& e) {
        std::fprintf(stdout, "%s\n", e.what());
        std::fflush(stdout);
        held.reset();
    }
}

LoggerHolder::~LoggerHolder()
{
    if (held) {
        held->info("Shutting down logger...");
        held->flush();
    }
    spdlog::shutdown();
    held.reset();
}
