#pragma once

#include "link/correlatedpacket.h"
#include "ulvex_export.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

// One request that waits for its answer. Owned by a RequestTracker; the
// watcher is declared last so that it is destroyed first.
struct ULVEX_EXPORT PendingRequest {
    // Free for the caller (a deadline, a retry count); the tracker never reads it.
    quint64 userData = 0;
    // When the request was sent.
    QDateTime timestamp = QDateTime::currentDateTime();
    std::function<void(const CorrelatedPacket&)> onResponse;
    std::function<void(const QString&)> onError;
    // Whatever watches the request (typically its timer).
    std::unique_ptr<QObject> watcher;
};
