#include "grpccallreactor.h"

#include "QtGrpc/qgrpcoperation.h"
#include "grpccalllink.h"

GrpcCallReactor::GrpcCallReactor(std::shared_ptr<GrpcCallLink> link)
    : link(std::move(link))
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
    link->post([message = std::move(message)](QGrpcOperation* operation) { operation->onMessage(message); });
    StartRead(&responseBuffer);
}

void GrpcCallReactor::OnDone(const grpc::Status& status)
{
    link->setContext(nullptr);
    const QGrpcStatus result(static_cast<QtGrpc::StatusCode>(qBound(0, int(status.error_code()), 16)),
                             QString::fromStdString(status.error_message()));
    link->post([result](QGrpcOperation* operation) { operation->onFinished(result); });
    delete this;
}
