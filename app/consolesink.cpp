#include "consolesink.h"

#include <array>

// The platform's half (descriptors, non-blocking writes) lives in
// consolesink_linux.cpp and consolesink_win.cpp.

namespace {
std::string_view levelColour(spdlog::level::level_enum level)
{
    static constexpr std::array<std::string_view, 7> colours{
        "\033[37m", "\033[36m", "\033[32m", "\033[33m\033[1m", "\033[31m\033[1m", "\033[1m\033[41m", ""};
    return colours.at(static_cast<std::size_t>(level));
}
} // namespace


void ConsoleSink::setReportSink(const spdlog::sink_ptr& sink)
{
    std::lock_guard<std::mutex> lock(mutex_);
    report = sink;
}

std::size_t ConsoleSink::droppedLines()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped;
}

bool ConsoleSink::writePending()
{
    while (!pending.empty()) {
        const long written = writeSome(pending.data(), pending.size());
        if (written > 0) {
            pending.erase(0, static_cast<std::size_t>(written));
            continue;
        }
        if (written < 0)
            pending.clear(); // the reader is gone: nobody will see the rest
        break;
    }
    return pending.empty();
}

void ConsoleSink::sink_it_(const spdlog::details::log_msg& msg)
{
    spdlog::memory_buf_t formatted;
    formatter_->format(msg, formatted);
    if (!colours || msg.color_range_end <= msg.color_range_start) {
        writeLine(formatted.data(), formatted.size());
        return;
    }
    const std::string_view text(formatted.data(), formatted.size());
    std::string line(text.substr(0, msg.color_range_start));
    line += levelColour(msg.level);
    line += text.substr(msg.color_range_start, msg.color_range_end - msg.color_range_start);
    line += "\033[m";
    line += text.substr(msg.color_range_end);
    writeLine(line.data(), line.size());
}

void ConsoleSink::writeRawLine(std::string_view text)
{
    std::string line(text);
    line.push_back('\n');
    std::lock_guard<std::mutex> lock(mutex_);
    writeLine(line.data(), line.size());
}

void ConsoleSink::writeLine(const char* data, std::size_t size)
{
    if (!writePending()) {
        ++dropped;
        return;
    }
    // Lines up to PIPE_BUF bytes go into a pipe in one piece or not at all; a
    // longer one (or any on a terminal or socket) may go in part, and its rest
    // is written before anything else.
    const long written = writeSome(data, size);
    if (written <= 0) {
        ++dropped;
        return;
    }
    if (static_cast<std::size_t>(written) < size)
        pending.assign(data + written, size - static_cast<std::size_t>(written));
}

void ConsoleSink::reportDrops()
{
    const auto target = report.lock();
    if (!target || dropped == reported || !target->should_log(spdlog::level::warn))
        return;
    const std::string text = std::to_string(dropped - reported) + " console lines dropped";
    reported = dropped;
    target->log(spdlog::details::log_msg("backend", spdlog::level::warn, text));
    target->flush();
}

void ConsoleSink::flush_()
{
    writePending();
    reportDrops();
}
