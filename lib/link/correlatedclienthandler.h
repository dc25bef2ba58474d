#pragma once

#include "link/correlatedpacket.h"
#include "ulvex_export.h"

#include <QObject>

class RequestTracker;

// Owns a request tracker and announces packets that answer no request.
class ULVEX_EXPORT CorrelatedClientHandler : public QObject {
    Q_OBJECT
public:
    explicit CorrelatedClientHandler(QObject* parent = nullptr);

    RequestTracker* tracker() const { return requestTracker; }

signals:
    void unsolicitedPacket(CorrelatedPacket packet);

private:
    RequestTracker* requestTracker; // child of this handler
};
