#pragma once

#include "QtGrpc/qgrpcoperation.h"

#include <QMetaObject>
#include <functional>
#include <memory>
#include <mutex>

namespace grpc {
class ClientContext;
}

// The meeting point of an operation (on its Qt thread) and its call in the
// transport (on gRPC's threads). Either side may go first: the operation
// detaches when it is destroyed, the transport when the call is done.
class GrpcCallLink {
public:
    explicit GrpcCallLink(QGrpcOperation* operation) : target(operation) { }

    // Runs `step` on the operation's thread, unless the operation is gone by then.
    void post(std::function<void(QGrpcOperation*)> step);
    // The operation goes: nothing more reaches it, and the call is cancelled.
    void detachOperation();
    void cancel();
    void setContext(std::shared_ptr<grpc::ClientContext> callContext);

private:
    std::shared_ptr<grpc::ClientContext> currentContext();

    std::mutex mutex;
    QGrpcOperation* target;
    // Shared with the call, so cancelling never meets a context being freed;
    // cancelled outside the lock, as gRPC may run the call's end at once.
    std::shared_ptr<grpc::ClientContext> context;
};
