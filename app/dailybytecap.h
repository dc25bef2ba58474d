#pragma once

#include <spdlog/sinks/base_sink.h>

#include <cstddef>
#include <mutex>

// Passes messages on to the log file until a day's share of bytes is used:
// then one line says so and that day's further messages are dropped. Every
// request of a frontend may leave a line (unknown packets, handlers not set
// up yet), so a frontend sending without pause would otherwise fill the disk.
class DailyByteCap : public spdlog::sinks::base_sink<std::mutex> {
public:
    static constexpr std::size_t defaultBytesPerDay = 64 * 1024 * 1024;

    DailyByteCap(spdlog::sink_ptr target, std::size_t bytesPerDay = defaultBytesPerDay);

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override;
    void flush_() override;

private:
    spdlog::sink_ptr target;
    std::size_t bytesPerDay;
    std::size_t used = 0;
    int day = -1; // local date of the last message, as year * 1000 + day of year
    bool capped = false;
};
