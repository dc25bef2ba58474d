#pragma once

#include "QtGrpc/qgrpcchanneloptions.h"

#include <QUrl>
#include <grpcpp/channel.h>
#include <grpcpp/generic/generic_stub.h>
#include <memory>

class QGrpcOperation;
class QGrpcCallOptions;

// The grpc++ channel behind a QGrpcHttp2Channel: HTTP/2, plain or TLS with
// the client certificate, key and trusted authorities of the options.
class Http2Transport {
public:
    // The largest single response taken; a larger one ends its call with
    // ResourceExhausted (docs/remote.md).
    static constexpr int maxReceiveMessageSize = 4 * 1024 * 1024;

    Http2Transport(const QUrl& uri, const QGrpcChannelOptions& options);

    // Starts "/service/method"; a call that cannot start finishes at once
    // (queued) with an error status.
    void start(QGrpcOperation* operation, const QByteArray& path, const QByteArray& request,
               const QGrpcCallOptions& callOptions);

private:
    QGrpcChannelOptions options;
    QString setupError;
    std::shared_ptr<grpc::Channel> channel;
    std::unique_ptr<grpc::GenericStub> stub;
};
