#include "link/requesttracker.h"

RequestTracker::RequestTracker(QObject* parent)
    : QObject(parent)
{
}

RequestTracker::~RequestTracker() = default;

void RequestTracker::addPending(correlation_id_t correlationId, std::unique_ptr<PendingRequest> request)
{
    pending[correlationId] = std::move(request);
}

bool RequestTracker::isPending(correlation_id_t correlationId) const
{
    return pending.contains(correlationId);
}

void RequestTracker::handleTimeout(correlation_id_t correlationId)
{
    auto node = pending.extract(correlationId);
    if (node.empty())
        return;
    // The record leaves the map before its callback runs, so a callback that
    // touches the tracker (or times the same id out again) finds it gone.
    std::unique_ptr<PendingRequest> request = std::move(node.mapped());
    if (request && request->onError) {
        // The stamp holds the send time: the count is the time elapsed since
        // then, a positive number of milliseconds.
        const qint64 elapsed = request->timestamp.msecsTo(QDateTime::currentDateTime());
        request->onError(QStringLiteral("Request timeout after %1ms").arg(elapsed));
    }
    request.reset();
    emit requestTimeout(correlationId);
}
