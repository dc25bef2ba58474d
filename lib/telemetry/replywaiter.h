#pragma once

#include "telemetry/telemetryconfig.h"

#include <QDeadlineTimer>
#include <QString>
#include <chrono>
#include <expected>

class QNetworkReply;

// Waits for a network reply in a local event loop, never longer than a limit
// and never for a body larger than a bound.
class ReplyWaiter {
public:
    // Empty on success; otherwise the reply's error text, or a text saying why
    // the reply was aborted: time-out, body too large, or the thread's event
    // loops were told to quit (telemetry abandoned).
    static std::expected<void, QString> wait(QNetworkReply* reply, std::chrono::milliseconds limit,
                                             qint64 maxBody = TelemetryConfig::kReplyBodyLimit);
    // The smaller of a request's own limit and what is left before deadline.
    static std::chrono::milliseconds capped(std::chrono::milliseconds limit, const QDeadlineTimer& deadline);
};
