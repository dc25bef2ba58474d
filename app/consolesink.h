#pragma once

#include "dailybytecap.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <spdlog/sinks/base_sink.h>
#include <string>
#include <string_view>

// Console log lines that never block the program, whatever standard output is:
// a reader that stops reading a pipe, a terminal or a socket makes lines drop
// instead. A line goes whole or is dropped; a line longer than the reader takes
// in one piece keeps its rest for the next write and nothing else is written
// before it. Dropped lines are counted and, at each flush, reported to the
// report sink (the log file) as "N console lines dropped".
class ConsoleSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    enum class Kind {
        Description, // a non-blocking open file description of our own
        Socket, // a socket, written with non-blocking sends
    };

    // Takes over `fd`; a Description must be non-blocking.
    ConsoleSink(int fd, Kind kind, bool colours = false);
    ~ConsoleSink() override;

    ConsoleSink(const ConsoleSink&) = delete;
    ConsoleSink& operator=(const ConsoleSink&) = delete;

    // The console for standard output: this sink on a pipe, terminal, socket or
    // device; the library's own console sink on a regular file (which never
    // blocks), limited like the log file to a share of bytes a day, since it
    // is a second log file then; null when standard output cannot be written
    // without blocking.
    static spdlog::sink_ptr forStdout(std::size_t fileBytesPerDay = DailyByteCap::defaultBytesPerDay);
    // The same for any descriptor, which stays the caller's.
    static spdlog::sink_ptr forDescriptor(int fd);

    void setReportSink(const spdlog::sink_ptr& sink);
    std::size_t droppedLines();
    // Text that is not a log message (set-up trouble), as one line by the same rule.
    void writeRawLine(std::string_view text);

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override;
    void flush_() override;

private:
    // Writes what it can of the unfinished line; true when none is left.
    bool writePending();
    void writeLine(const char* data, std::size_t size);
    // Bytes written; 0 when the reader takes nothing now, -1 when it is gone.
    long writeSome(const char* data, std::size_t size);
    void reportDrops();

    // The platform's writer state (Windows: a thread that does the blocking
    // writes behind a bounded buffer); empty on Linux.
    struct Writer;
    std::unique_ptr<Writer> writer;

    int fd;
    Kind kind;
    bool colours;
    std::string pending;
    std::size_t dropped = 0;
    std::size_t reported = 0;
    std::weak_ptr<spdlog::sinks::sink> report;
};
