#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>
#include <spdlog/common.h>
#include <utility>
#include <vector>

// Registers the logger "backend" with a sink that keeps every message, so
// tests can assert the exact texts components log.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();

    void clear();
    bool contains(spdlog::level::level_enum level, const QString& text) const;
    bool containsText(const QString& text) const;
    QStringList messages() const;

private:
    struct Store;
    std::shared_ptr<Store> store;
};
