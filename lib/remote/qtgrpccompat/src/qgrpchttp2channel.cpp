#include "QtGrpc/qgrpchttp2channel.h"

#include "QtGrpc/qgrpcoperation.h"
#include "http2transport.h"

QAbstractGrpcChannel::QAbstractGrpcChannel() = default;

QAbstractGrpcChannel::QAbstractGrpcChannel(const QGrpcChannelOptions& channelOptions)
    : options(channelOptions)
{
}

QAbstractGrpcChannel::~QAbstractGrpcChannel() = default;

void QAbstractGrpcChannel::setChannelOptions(const QGrpcChannelOptions& channelOptions)
{
    options = channelOptions;
    ++version;
}

QGrpcHttp2Channel::QGrpcHttp2Channel(const QUrl& hostUri)
    : uri(hostUri)
{
}

QGrpcHttp2Channel::QGrpcHttp2Channel(const QUrl& hostUri, const QGrpcChannelOptions& options)
    : QAbstractGrpcChannel(options)
    , uri(hostUri)
{
}

QGrpcHttp2Channel::~QGrpcHttp2Channel() = default;

void QGrpcHttp2Channel::start(QGrpcOperation* operation, QLatin1StringView service, QLatin1StringView method,
                              const QByteArray& request, const QGrpcCallOptions& callOptions)
{
    if (!transport || transportVersion != optionsVersion()) {
        transport = std::make_shared<Http2Transport>(uri, channelOptions());
        transportVersion = optionsVersion();
    }
    const QByteArray path = '/' + QByteArray(service.data(), service.size()) + '/' + QByteArray(method.data(), method.size());
    transport->start(operation, path, request, callOptions);
}
