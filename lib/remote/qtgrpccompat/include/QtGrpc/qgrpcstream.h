#pragma once

#include "qgrpcoperation.h"
#include "ulvex_export.h"

// A server-streaming call: `messageReceived` for each message (read it with
// read()), then `finished`.
class ULVEX_EXPORT QGrpcServerStream final : public QGrpcOperation {
    Q_OBJECT
public:
    explicit QGrpcServerStream(QLatin1StringView method, QObject* parent = nullptr);
    ~QGrpcServerStream() override;

signals:
    void messageReceived();

private:
    void onMessage(QByteArray message) override;
};
