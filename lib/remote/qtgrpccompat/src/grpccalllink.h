#pragma once

#include "QtGrpc/qgrpcoperation.h"

#include <QMetaObject>
#include <functional>
#include <memory>
#include <mutex>

namespace grpc {
class ClientContext;
}
class GrpcCallReactor;

// The meeting point of an operation (on its Qt thread) and its call in the
// transport (on gRPC's threads). Either side may go first: the operation
// detaches when it is destroyed, the transport when the call is done.
//
// It also paces a stream: the transport reads ahead at most `window`
// messages that the operation has not taken yet, so a slow receiver holds
// the server back instead of piling messages up in memory.
class GrpcCallLink : public std::enable_shared_from_this<GrpcCallLink> {
public:
    static constexpr int window = 2;

    explicit GrpcCallLink(QGrpcOperation* operation) : target(operation) { }

    // Runs `step` on the operation's thread, unless the operation is gone by then.
    void post(std::function<void(QGrpcOperation*)> step);
    // Hands a message to the operation. True when the reactor may read the
    // next one at once; false when it must wait: the link then holds the
    // call open and resumes the reactor once the operation took a message.
    bool postMessage(QByteArray message, GrpcCallReactor* reactor);
    // The operation goes: nothing more reaches it, and the call is cancelled.
    void detachOperation();
    // The operation cancelled the call: no more messages are handed over.
    void cancel();
    void setContext(std::shared_ptr<grpc::ClientContext> callContext);

private:
    std::shared_ptr<grpc::ClientContext> currentContext();
    void messageTaken();
    void stopReading();

    std::mutex mutex;
    QGrpcOperation* target;
    // Shared with the call, so cancelling never meets a context being freed;
    // cancelled outside the lock, as gRPC may run the call's end at once.
    std::shared_ptr<grpc::ClientContext> context;
    int untaken = 0;                    // messages posted, not yet taken
    GrpcCallReactor* paused = nullptr;  // waiting for the operation, kept alive by a hold
    bool stopped = false;
};
