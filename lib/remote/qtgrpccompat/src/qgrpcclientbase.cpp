#include "QtGrpc/qgrpcclientbase.h"

#include "QtProtobuf/qprotobufserializer.h"

QGrpcClientBase::QGrpcClientBase(QLatin1StringView service, QObject* parent)
    : QObject(parent)
    , serviceName(service.data(), service.size())
{
}

QGrpcClientBase::~QGrpcClientBase() = default;

bool QGrpcClientBase::attachChannel(std::shared_ptr<QAbstractGrpcChannel> channel)
{
    if (!channel)
        return false;
    attached = std::move(channel);
    emit channelChanged();
    return true;
}

std::unique_ptr<QGrpcCallReply> QGrpcClientBase::call(QLatin1StringView method, const QProtobufMessage& arg,
                                                      const QGrpcCallOptions& options)
{
    auto reply = std::make_unique<QGrpcCallReply>(method);
    start(reply.get(), arg, options);
    return reply;
}

std::unique_ptr<QGrpcServerStream> QGrpcClientBase::serverStream(QLatin1StringView method, const QProtobufMessage& arg,
                                                                 const QGrpcCallOptions& options)
{
    auto stream = std::make_unique<QGrpcServerStream>(method);
    start(stream.get(), arg, options);
    return stream;
}

void QGrpcClientBase::start(QGrpcOperation* operation, const QProtobufMessage& arg, const QGrpcCallOptions& options)
{
    // Failures before the call reaches the wire are reported like any other,
    // through `finished`, once the caller had the chance to connect to it.
    auto failLater = [operation](QtGrpc::StatusCode code, const QString& text) {
        QMetaObject::invokeMethod(
            operation, [operation, status = QGrpcStatus(code, text)] { operation->onFinished(status); },
            Qt::QueuedConnection);
    };
    if (!attached) {
        failLater(QtGrpc::StatusCode::Unavailable, QStringLiteral("No channel is attached to the client"));
        return;
    }
    QProtobufSerializer serializer;
    const QByteArray request = serializer.serialize(&arg);
    if (serializer.lastError() != QAbstractProtobufSerializer::Error::None) {
        failLater(QtGrpc::StatusCode::InvalidArgument, serializer.lastErrorString());
        return;
    }
    attached->start(operation, QLatin1StringView(serviceName), operation->method(), request, options);
}
