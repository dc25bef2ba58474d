#include "grpccalllink.h"

#include "grpccallreactor.h"

#include <grpcpp/client_context.h>

void GrpcCallLink::post(std::function<void(QGrpcOperation*)> step)
{
    std::lock_guard lock(mutex);
    if (!target)
        return;
    // Posted while the target is alive (its destructor waits for this lock);
    // an event still queued when it is destroyed is dropped with it.
    QGrpcOperation* operation = target;
    QMetaObject::invokeMethod(operation, [operation, step = std::move(step)] { step(operation); }, Qt::QueuedConnection);
}

bool GrpcCallLink::postMessage(QByteArray message, GrpcCallReactor* reactor)
{
    std::lock_guard lock(mutex);
    if (!target || stopped)
        return true; // nobody takes it: read on until the cancelled call ends
    QGrpcOperation* operation = target;
    QMetaObject::invokeMethod(
        operation,
        [operation, self = shared_from_this(), message = std::move(message)]() mutable {
            operation->onMessage(std::move(message));
            self->messageTaken(); // the operation may be gone by now, the link is not
        },
        Qt::QueuedConnection);
    if (++untaken < window)
        return true;
    // Called from the reaction that delivered the message: a hold is allowed
    // here, and keeps the call (and the reactor) alive while it waits.
    reactor->AddHold();
    paused = reactor;
    return false;
}

void GrpcCallLink::messageTaken()
{
    GrpcCallReactor* resume = nullptr;
    {
        std::lock_guard lock(mutex);
        --untaken;
        if (untaken < window)
            std::swap(resume, paused);
    }
    // Outside the lock: gRPC may run the next reaction right here.
    if (resume)
        resume->resumeReading();
}

void GrpcCallLink::stopReading()
{
    GrpcCallReactor* resume = nullptr;
    {
        std::lock_guard lock(mutex);
        stopped = true;
        std::swap(resume, paused);
    }
    if (resume)
        resume->resumeReading(); // the read ends at once on the cancelled call
}

void GrpcCallLink::detachOperation()
{
    {
        std::lock_guard lock(mutex);
        target = nullptr;
    }
    cancel();
}

void GrpcCallLink::cancel()
{
    if (const auto callContext = currentContext())
        callContext->TryCancel();
    stopReading();
}

std::shared_ptr<grpc::ClientContext> GrpcCallLink::currentContext()
{
    std::lock_guard lock(mutex);
    return context;
}

void GrpcCallLink::setContext(std::shared_ptr<grpc::ClientContext> callContext)
{
    std::lock_guard lock(mutex);
    context = std::move(callContext);
}
