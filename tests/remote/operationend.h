#pragma once

#include <QGrpcOperation>
#include <QGrpcStatus>
#include <QSignalSpy>

// Waits for the operation's end; its status, or Unknown after 20 s.
inline QGrpcStatus finish(QGrpcOperation* operation)
{
    QSignalSpy spy(operation, &QGrpcOperation::finished);
    if (!spy.wait(20000))
        return QGrpcStatus(QtGrpc::StatusCode::Unknown, QStringLiteral("no end"));
    return spy.first().first().value<QGrpcStatus>();
}
