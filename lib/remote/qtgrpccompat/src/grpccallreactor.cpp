#include "grpccallreactor.h"

#include "QtGrpc/qgrpcoperation.h"
#include "grpccalllink.h"

#include <QCoreApplication>
#include <thread>

namespace {
// A call's context holds a reference to its channel. If that is the last one,
// dropping it on the gRPC thread that runs our callbacks makes the channel shut
// down the very completion queue that thread serves, which aborts the process.
// The context is therefore released on the application's thread instead (or,
// without an application, on a short-lived thread of its own).
void releaseAwayFromGrpc(std::shared_ptr<grpc::ClientContext> context)
{
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(app, [context = std::move(context)]() mutable { context.reset(); },
                                  Qt::QueuedConnection);
        return;
    }
    std::thread([context = std::move(context)]() mutable { context.reset(); }).detach();
}
} // namespace

GrpcCallReactor::GrpcCallReactor(std::shared_ptr<GrpcCallLink> link, bool unary)
    : link(std::move(link))
    , unary(unary)
{
}

void GrpcCallReactor::start(grpc::GenericStub& stub, const std::string& path, const QByteArray& request,
                            std::optional<std::chrono::milliseconds> deadline,
                            const QHash<QByteArray, QByteArray>& metadata)
{
    for (auto it = metadata.cbegin(); it != metadata.cend(); ++it)
        context->AddMetadata(it.key().toStdString(), it.value().toStdString());
    if (deadline)
        context->set_deadline(std::chrono::system_clock::now() + *deadline);
    link->setContext(context);
    grpc::Slice slice(request.constData(), size_t(request.size()));
    requestBuffer = grpc::ByteBuffer(&slice, 1);
    stub.PrepareBidiStreamingCall(context.get(), path, grpc::StubOptions(), this);
    StartWriteLast(&requestBuffer, grpc::WriteOptions());
    StartRead(&responseBuffer);
    StartCall();
}

void GrpcCallReactor::OnReadInitialMetadataDone(bool ok)
{
    if (!ok)
        return;
    QHash<QByteArray, QByteArray> metadata;
    for (const auto& [key, value] : context->GetServerInitialMetadata())
        metadata.insert(QByteArray(key.data(), qsizetype(key.size())), QByteArray(value.data(), qsizetype(value.size())));
    link->post([metadata = std::move(metadata)](QGrpcOperation* operation) { operation->onMetadata(metadata); });
}

void GrpcCallReactor::OnReadDone(bool ok)
{
    if (!ok)
        return; // the server ended the stream; OnDone follows
    std::vector<grpc::Slice> slices;
    QByteArray message("");
    if (responseBuffer.Dump(&slices).ok()) {
        for (const grpc::Slice& slice : slices)
            message.append(reinterpret_cast<const char*>(slice.begin()), qsizetype(slice.size()));
    }
    responseBuffer.Clear();
    if (unary && ++responses > 1) {
        secondReply = true; // nothing more is read; OnDone reports it
        context->TryCancel();
        return;
    }
    if (link->postMessage(std::move(message), this))
        StartRead(&responseBuffer);
}

void GrpcCallReactor::resumeReading()
{
    StartRead(&responseBuffer);
    RemoveHold();
}

void GrpcCallReactor::OnDone(const grpc::Status& status)
{
    link->setContext(nullptr);
    const QGrpcStatus result = secondReply
        ? QGrpcStatus(QtGrpc::StatusCode::Internal, QStringLiteral("More than one response to a unary call"))
        : QGrpcStatus(static_cast<QtGrpc::StatusCode>(qBound(0, int(status.error_code()), 16)),
                      QString::fromStdString(status.error_message()));
    link->post([result](QGrpcOperation* operation) { operation->onFinished(result); });
    releaseAwayFromGrpc(std::move(context));
    delete this;
}
