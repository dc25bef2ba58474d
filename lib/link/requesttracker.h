#pragma once

#include "link/correlatedpacket.h"
#include "link/pendingrequest.h"
#include "ulvex_export.h"

#include <QObject>
#include <memory>
#include <unordered_map>

// Keeps pending requests by correlation id and reports their time-outs.
// Lives on one thread; nothing in the session creates one yet.
class ULVEX_EXPORT RequestTracker : public QObject {
    Q_OBJECT
public:
    explicit RequestTracker(QObject* parent = nullptr);
    ~RequestTracker() override;

    // Replaces an earlier request with the same id.
    void addPending(correlation_id_t correlationId, std::unique_ptr<PendingRequest> request);
    bool isPending(correlation_id_t correlationId) const;

signals:
    void requestTimeout(correlation_id_t correlationId);

private slots:
    void handleTimeout(correlation_id_t correlationId);

private:
    std::unordered_map<correlation_id_t, std::unique_ptr<PendingRequest>> pending;
};
