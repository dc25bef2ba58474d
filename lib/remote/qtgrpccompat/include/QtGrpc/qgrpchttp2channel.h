#pragma once

#include "qabstractgrpcchannel.h"
#include "ulvex_export.h"

#include <QUrl>
#include <memory>
#include <mutex>

class Http2Transport;

// A gRPC channel over HTTP/2 to "http://host:port" (plain) or
// "https://host:port" (TLS, with the options' SSL configuration: client
// certificate and key for mutual TLS, trusted authorities).
class ULVEX_EXPORT QGrpcHttp2Channel : public QAbstractGrpcChannel {
public:
    explicit QGrpcHttp2Channel(const QUrl& hostUri);
    QGrpcHttp2Channel(const QUrl& hostUri, const QGrpcChannelOptions& options);
    ~QGrpcHttp2Channel() override;

    QUrl hostUri() const { return uri; }

private:
    void start(QGrpcOperation* operation, QLatin1StringView service, QLatin1StringView method,
               const QByteArray& request, const QGrpcCallOptions& callOptions) override;

    QUrl uri;
    // Made on the first call and when the options change; clients on several
    // threads may share the channel, so it is replaced under the lock.
    std::mutex transportLock;
    std::shared_ptr<Http2Transport> transport;
    quint64 transportVersion = 0;
};
