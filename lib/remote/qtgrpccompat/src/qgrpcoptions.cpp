// Call and channel options: plain value holders.
#include "QtGrpc/qgrpccalloptions.h"
#include "QtGrpc/qgrpcchanneloptions.h"

QGrpcCallOptions& QGrpcCallOptions::setDeadlineTimeout(std::chrono::milliseconds timeout)
{
    deadline = timeout;
    return *this;
}

QGrpcCallOptions& QGrpcCallOptions::setMetadata(const QHash<QByteArray, QByteArray>& metadata)
{
    values = metadata;
    return *this;
}

QGrpcCallOptions& QGrpcCallOptions::setMetadata(QHash<QByteArray, QByteArray>&& metadata)
{
    values = std::move(metadata);
    return *this;
}

QGrpcChannelOptions& QGrpcChannelOptions::setDeadlineTimeout(std::chrono::milliseconds timeout)
{
    deadline = timeout;
    return *this;
}

QGrpcChannelOptions& QGrpcChannelOptions::setMetadata(const QHash<QByteArray, QByteArray>& metadata)
{
    values = metadata;
    return *this;
}

QGrpcChannelOptions& QGrpcChannelOptions::setMetadata(QHash<QByteArray, QByteArray>&& metadata)
{
    values = std::move(metadata);
    return *this;
}

QGrpcChannelOptions& QGrpcChannelOptions::setSslConfiguration(const QSslConfiguration& configuration)
{
    ssl = configuration;
    return *this;
}
