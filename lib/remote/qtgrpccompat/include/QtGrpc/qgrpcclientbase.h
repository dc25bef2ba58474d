#pragma once

#include "QtProtobuf/qprotobufmessage.h"
#include "qabstractgrpcchannel.h"
#include "qgrpccalloptions.h"
#include "qgrpccallreply.h"
#include "qgrpcstream.h"
#include "ulvex_export.h"

#include <QLatin1StringView>
#include <QObject>
#include <memory>

// Base of generated clients: holds the service name and the channel that the
// user attaches, and starts the calls on it.
class ULVEX_EXPORT QGrpcClientBase : public QObject {
    Q_OBJECT
public:
    ~QGrpcClientBase() override;

    bool attachChannel(std::shared_ptr<QAbstractGrpcChannel> channel);
    std::shared_ptr<QAbstractGrpcChannel> channel() const { return attached; }

signals:
    void channelChanged();

protected:
    explicit QGrpcClientBase(QLatin1StringView service, QObject* parent = nullptr);

    std::unique_ptr<QGrpcCallReply> call(QLatin1StringView method, const QProtobufMessage& arg,
                                         const QGrpcCallOptions& options);
    std::unique_ptr<QGrpcServerStream> serverStream(QLatin1StringView method, const QProtobufMessage& arg,
                                                    const QGrpcCallOptions& options);

private:
    void start(QGrpcOperation* operation, const QProtobufMessage& arg, const QGrpcCallOptions& options);

    QByteArray serviceName;
    std::shared_ptr<QAbstractGrpcChannel> attached;
};
