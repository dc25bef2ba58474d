#pragma once

#include <QString>
#include <chrono>
#include <expected>

class QNetworkReply;

// Waits for a network reply in a local event loop, never longer than a limit.
class ReplyWaiter {
public:
    // Empty on success; otherwise the reply's error text, or a time-out text
    // after the reply has been aborted.
    static std::expected<void, QString> wait(QNetworkReply* reply, std::chrono::milliseconds limit);
};
