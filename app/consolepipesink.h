#pragma once

#include <cstddef>
#include <mutex>
#include <spdlog/sinks/base_sink.h>
#include <string>
#include <string_view>

// Console log lines for a standard output that is a pipe. They go through a
// non-blocking open file description of their own, so a parent that stops
// reading never stalls the program, and the description shared with the
// parent (and its other children) keeps its flags. A line goes whole or is
// dropped; a line longer than the pipe takes in one piece keeps its rest for
// the next write and nothing else is written before it.
class ConsolePipeSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    // Takes over `fd`, which must be non-blocking.
    explicit ConsolePipeSink(int fd);
    ~ConsolePipeSink() override;

    ConsolePipeSink(const ConsolePipeSink&) = delete;
    ConsolePipeSink& operator=(const ConsolePipeSink&) = delete;

    // A new non-blocking description of standard output when it is a pipe,
    // else -1 (also when the pipe cannot be opened anew).
    static int openStdoutPipe();
    // True when standard output is a pipe.
    static bool stdoutIsPipe();

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

    int fd;
    std::string pending;
    std::size_t dropped = 0;
};
