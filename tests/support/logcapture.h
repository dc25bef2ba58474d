#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>
#include <spdlog/common.h>
#include <spdlog/logger.h>
#include <utility>
#include <vector>

// Registers the logger "backend" with a sink that keeps every message, so
// tests can assert the exact texts components log.
class LogCapture {
public:
    explicit LogCapture(spdlog::level::level_enum level = spdlog::level::trace);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    void clear();
    // Exact message texts.
    bool contains(const QString& text) const;
    bool contains(spdlog::level::level_enum level, const QString& text) const;
    qsizetype count(const QString& text) const;
    // Any message containing `text`.
    bool containsText(const QString& text) const;
    QStringList messages() const;
    QStringList lines() const { return messages(); }

private:
    struct Store;
    std::shared_ptr<Store> store;
    std::shared_ptr<spdlog::logger> logger;
};
