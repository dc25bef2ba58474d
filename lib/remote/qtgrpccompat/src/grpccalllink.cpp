#include "grpccalllink.h"

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
