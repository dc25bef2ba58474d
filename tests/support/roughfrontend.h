#pragma once

#include "protocol/packet.h"

#include <QByteArray>
#include <QList>
#include <QTcpSocket>
#include <optional>

// A frontend without manners, over a real socket: it sends before the
// greeting, pipelines requests in one write, splits them across writes,
// floods, and half-closes its side of the connection.
class RoughFrontend {
public:
    // Connects as soon as the backend listens on `port`; reads nothing.
    bool connect(int timeoutMs = 10000, quint16 port = 2700);
    // One write, pushed out at once.
    bool send(const QByteArray& bytes);
    // The bytes in pieces of the given sizes (the last piece takes the rest),
    // `pauseMs` apart, each its own segment.
    bool sendInPieces(const QByteArray& bytes, const QList<int>& sizes, int pauseMs);
    // Writes `unit` over and over until `total` bytes are out, the backend
    // stops taking them for `stallMs` or it closes; returns the bytes written.
    qint64 flood(const QByteArray& unit, qint64 total, int stallMs = 3000);
    // Shuts the sending side only; replies can still arrive.
    bool halfClose();

    std::optional<Packet> next(int timeoutMs);
    // Every packet until the backend closes the connection; nothing when it
    // does not close within `timeoutMs`.
    std::optional<QList<Packet>> untilClosed(int timeoutMs);
    bool closedByBackend() const { return closed; }

private:
    bool waitForData(int timeoutMs);

    QTcpSocket socket;
    QByteArray buffer;
    bool closed = false;
};
