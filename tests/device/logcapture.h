#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <spdlog/logger.h>

// Registers the "backend" logger for a test and keeps every message text it
// receives, so tests can check what the code under test logged.
class LogCapture {
public:
    explicit LogCapture(spdlog::level::level_enum level = spdlog::level::trace);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const;
    bool contains(const QString& text) const;
    qsizetype count(const QString& text) const;
    void clear();

private:
    class Sink;
    std::shared_ptr<Sink> sink;
    std::shared_ptr<spdlog::logger> logger;
};
