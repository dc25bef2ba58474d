#include "logcapture.h"

#include <mutex>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

class LogCapture::Sink : public spdlog::sinks::base_sink<std::mutex> {
public:
    QStringList copy()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages;
    }
    void reset()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages.clear();
    }

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override
    {
        messages.append(QString::fromUtf8(msg.payload.data(), static_cast<qsizetype>(msg.payload.size())));
    }
    void flush_() override {}

private:
    QStringList messages;
};

LogCapture::LogCapture(spdlog::level::level_enum level)
    : sink(std::make_shared<Sink>())
    , logger(std::make_shared<spdlog::logger>("backend", sink))
{
    logger->set_level(level);
    spdlog::drop("backend");
    spdlog::register_logger(logger);
}

LogCapture::~LogCapture()
{
    // A newer capture may have taken the name over already.
    if (spdlog::get("backend") == logger)
        spdlog::drop("backend");
}

QStringList LogCapture::lines() const
{
    return sink->copy();
}

bool LogCapture::contains(const QString& text) const
{
    return lines().contains(text);
}

qsizetype LogCapture::count(const QString& text) const
{
    return lines().count(text);
}

void LogCapture::clear()
{
    sink->reset();
}
