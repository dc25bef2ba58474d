#pragma once

#include "ulvex_export.h"

#include <QByteArray>
#include <QHash>
#include <chrono>
#include <optional>

// Per-call settings: a deadline and metadata sent with the call.
class ULVEX_EXPORT QGrpcCallOptions {
public:
    QGrpcCallOptions& setDeadlineTimeout(std::chrono::milliseconds timeout);
    std::optional<std::chrono::milliseconds> deadlineTimeout() const noexcept { return deadline; }

    QGrpcCallOptions& setMetadata(const QHash<QByteArray, QByteArray>& metadata);
    QGrpcCallOptions& setMetadata(QHash<QByteArray, QByteArray>&& metadata);
    const QHash<QByteArray, QByteArray>& metadata() const& noexcept { return values; }

private:
    std::optional<std::chrono::milliseconds> deadline;
    QHash<QByteArray, QByteArray> values;
};
