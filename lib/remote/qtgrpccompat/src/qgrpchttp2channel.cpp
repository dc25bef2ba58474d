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
    std::lock_guard lock(optionsLock);
    options = channelOptions;
    ++version;
}

std::pair<QGrpcChannelOptions, quint64> QAbstractGrpcChannel::optionsSnapshot() const
{
    std::lock_guard lock(optionsLock);
    return {options, version};
}

quint64 QAbstractGrpcChannel::optionsVersion() const
{
    std::lock_guard lock(optionsLock);
    return version;
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
    std::shared_ptr<Http2Transport> current;
    {
        std::lock_guard lock(transportLock);
        if (!transport || transportVersion != optionsVersion()) {
            auto [options, version] = optionsSnapshot();
            transport = std::make_shared<Http2Transport>(uri, options);
            transportVersion = version;
        }
        current = transport;
    }
    // The call keeps the transport it started on, even if another thread replaces it.
    const QByteArray path = '/' + QByteArray(service.data(), service.size()) + '/' + QByteArray(method.data(), method.size());
    current->start(operation, path, request, callOptions);
}
