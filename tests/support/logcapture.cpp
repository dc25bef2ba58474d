#include "logcapture.h"

#include <functional>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

struct LogCapture::Store {
    mutable std::mutex mutex;
    std::vector<std::pair<spdlog::level::level_enum, QString>> entries;
};

namespace {

class StoreSink : public spdlog::sinks::base_sink<std::mutex> {
public:
    explicit StoreSink(std::function<void(spdlog::level::level_enum, QString)> keep)
        : keep(std::move(keep))
    {
    }

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override
    {
        keep(msg.level, QString::fromUtf8(msg.payload.data(), static_cast<qsizetype>(msg.payload.size())));
    }
    void flush_() override {}

private:
    std::function<void(spdlog::level::level_enum, QString)> keep;
};

} // namespace

LogCapture::LogCapture(spdlog::level::level_enum level)
    : store(std::make_shared<Store>())
{
    std::weak_ptr<Store> weak = store;
    auto sink = std::make_shared<StoreSink>([weak](spdlog::level::level_enum level, QString text) {
        if (auto s = weak.lock()) {
            std::lock_guard lock(s->mutex);
            s->entries.emplace_back(level, std::move(text));
        }
    });
    spdlog::drop("backend");
    logger = std::make_shared<spdlog::logger>("backend", sink);
    logger->set_level(level);
    spdlog::register_logger(logger);
}

LogCapture::~LogCapture()
{
    // A newer capture may have taken the name over already.
    if (spdlog::get("backend") == logger)
        spdlog::drop("backend");
}

void LogCapture::clear()
{
    std::lock_guard lock(store->mutex);
    store->entries.clear();
}

bool LogCapture::contains(spdlog::level::level_enum level, const QString& text) const
{
    std::lock_guard lock(store->mutex);
    for (const auto& [l, t] : store->entries) {
        if (l == level && t == text)
            return true;
    }
    return false;
}

bool LogCapture::contains(const QString& text) const
{
    return messages().contains(text);
}

qsizetype LogCapture::count(const QString& text) const
{
    return messages().count(text);
}

bool LogCapture::containsText(const QString& text) const
{
    std::lock_guard lock(store->mutex);
    for (const auto& entry : store->entries) {
        if (entry.second.contains(text))
            return true;
    }
    return false;
}

QStringList LogCapture::messages() const
{
    std::lock_guard lock(store->mutex);
    QStringList all;
    for (const auto& entry : store->entries)
        all << entry.second;
    return all;
}
