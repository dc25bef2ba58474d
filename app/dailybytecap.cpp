#include "dailybytecap.h"

#include <spdlog/details/os.h>

#include <string>

namespace {

// What a line costs beside its text: time stamp, logger name and level.
constexpr std::size_t lineOverhead = 48;

int localDay(spdlog::log_clock::time_point time)
{
    const std::tm local = spdlog::details::os::localtime(spdlog::log_clock::to_time_t(time));
    return local.tm_year * 1000 + local.tm_yday;
}

} // namespace

DailyByteCap::DailyByteCap(spdlog::sink_ptr target, std::size_t bytesPerDay)
    : target(std::move(target))
    , bytesPerDay(bytesPerDay)
{
}

void DailyByteCap::sink_it_(const spdlog::details::log_msg& msg)
{
    const int today = localDay(msg.time);
    if (today != day) {
        day = today;
        used = 0;
        capped = false;
    }
    if (capped)
        return;
    used += msg.payload.size() + lineOverhead;
    if (used <= bytesPerDay) {
        target->log(msg);
        return;
    }
    capped = true;
    const std::string notice = "Log limit of " + std::to_string(bytesPerDay) +
        " bytes for today reached; further messages of today are dropped";
    spdlog::details::log_msg last(msg.time, msg.source, msg.logger_name, spdlog::level::warn, notice);
    target->log(last);
    target->flush();
}

void DailyByteCap::flush_()
{
    target->flush();
}
