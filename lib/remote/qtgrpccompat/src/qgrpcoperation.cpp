#include "QtGrpc/qgrpcoperation.h"

#include "QtGrpc/qgrpccallreply.h"
#include "QtGrpc/qgrpcstream.h"
#include "QtProtobuf/qprotobufserializer.h"
#include "grpccalllink.h"

QGrpcOperation::QGrpcOperation(QLatin1StringView method, QObject* parent)
    : QObject(parent)
    , methodName(method.data(), method.size())
    , link(std::make_shared<GrpcCallLink>(this))
{
}

QGrpcOperation::~QGrpcOperation()
{
    link->detachOperation();
}

bool QGrpcOperation::read(QProtobufMessage* message) const
{
    if (!message || lastMessage.isNull())
        return false;
    QProtobufSerializer serializer;
    return serializer.deserialize(message, lastMessage);
}

void QGrpcOperation::cancel()
{
    if (done)
        return;
    link->cancel();
    onFinished(QGrpcStatus(QtGrpc::StatusCode::Cancelled, QStringLiteral("Operation is cancelled by client")));
}

void QGrpcOperation::onMessage(QByteArray message)
{
    if (done)
        return;
    lastMessage = message.isNull() ? QByteArray("") : std::move(message);
}

void QGrpcOperation::onMetadata(QHash<QByteArray, QByteArray> metadata)
{
    if (!done)
        serverMetadata = std::move(metadata);
}

void QGrpcOperation::onFinished(const QGrpcStatus& status)
{
    if (done)
        return;
    done = true;
    emit finished(status);
}

QGrpcCallReply::QGrpcCallReply(QLatin1StringView method, QObject* parent)
    : QGrpcOperation(method, parent)
{
}

QGrpcCallReply::~QGrpcCallReply() = default;

QGrpcServerStream::QGrpcServerStream(QLatin1StringView method, QObject* parent)
    : QGrpcOperation(method, parent)
{
}

QGrpcServerStream::~QGrpcServerStream() = default;

void QGrpcServerStream::onMessage(QByteArray message)
{
    if (isFinished())
        return;
    QGrpcOperation::onMessage(std::move(message));
    emit messageReceived();
}
