#include "capturesink.h"

#include <spdlog/spdlog.h>

QList<CaptureSink::Entry> CaptureSink::entries()
{
    std::lock_guard lock(mutex_);
    return captured;
}

bool CaptureSink::contains(spdlog::level::level_enum level, const QString& text)
{
    std::lock_guard lock(mutex_);
    for (const Entry& entry : captured)
        if (entry.level == level && entry.text == text)
            return true;
    return false;
}

int CaptureSink::indexOf(const QString& text)
{
    std::lock_guard lock(mutex_);
    for (int i = 0; i < captured.size(); ++i)
        if (captured.at(i).text == text)
            return i;
    return -1;
}

void CaptureSink::clear()
{
    std::lock_guard lock(mutex_);
    captured.clear();
}

std::shared_ptr<CaptureSink> CaptureSink::install()
{
    auto sink = std::make_shared<CaptureSink>();
    spdlog::drop("backend");
    auto logger = std::make_shared<spdlog::logger>("backend", sink);
    logger->set_level(spdlog::level::trace);
    spdlog::register_logger(logger);
    return sink;
}

void CaptureSink::sink_it_(const spdlog::details::log_msg& msg)
{
    captured.append({msg.level, QString::fromUtf8(msg.payload.data(), static_cast<qsizetype>(msg.payload.size()))});
}
