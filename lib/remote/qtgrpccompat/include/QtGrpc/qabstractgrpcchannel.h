#pragma once

#include "qgrpcchanneloptions.h"
#include "ulvex_export.h"

#include <QLatin1StringView>
#include <memory>
#include <mutex>

class QGrpcCallOptions;
class QGrpcOperation;

// A transport for the calls of a client.
class ULVEX_EXPORT QAbstractGrpcChannel {
public:
    virtual ~QAbstractGrpcChannel();

    const QGrpcChannelOptions& channelOptions() const& noexcept { return options; }
    void setChannelOptions(const QGrpcChannelOptions& options);

protected:
    QAbstractGrpcChannel();
    explicit QAbstractGrpcChannel(const QGrpcChannelOptions& options);
    // A copy of the options and their version, which grows with every change,
    // so a transport knows to remake itself; safe while another thread sets them.
    std::pair<QGrpcChannelOptions, quint64> optionsSnapshot() const;
    quint64 optionsVersion() const;

private:
    friend class QGrpcClientBase;
    // Starts "/service/method" with a serialised request; the transport
    // reports messages and the final status to `operation` on its thread.
    virtual void start(QGrpcOperation* operation, QLatin1StringView service, QLatin1StringView method,
                       const QByteArray& request, const QGrpcCallOptions& callOptions) = 0;

    mutable std::mutex optionsLock;
    QGrpcChannelOptions options;
    quint64 version = 0;
};
