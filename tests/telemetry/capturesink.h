#pragma once

#include <QList>
#include <QString>
#include <mutex>
#include <spdlog/sinks/base_sink.h>

// Keeps every log message so tests can assert on exact texts and levels.
class CaptureSink : public spdlog::sinks::base_sink<std::mutex> {
public:
    struct Entry {
        spdlog::level::level_enum level;
        QString text;
    };

    QList<Entry> entries();
    bool contains(spdlog::level::level_enum level, const QString& text);
    // Index of the first message with this text, or -1.
    int indexOf(const QString& text);
    void clear();

    // Registers a synchronous, trace-level "backend" logger writing here.
    static std::shared_ptr<CaptureSink> install();

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override;
    void flush_() override { }

private:
    QList<Entry> captured;
};
