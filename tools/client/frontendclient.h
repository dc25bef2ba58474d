#pragma once

#include "protocol/packet.h"

#include <QByteArray>
#include <QString>
#include <QTcpSocket>
#include <optional>

// Speaks the frontend side of the packet protocol over a blocking socket.
// The backend's packets are 5 bytes each; several may arrive in one read.
class FrontendClient {
public:
    bool connectTo(const QString& host, quint16 port, int timeoutMs);
    bool send(const QByteArray& bytes);
    // Next packet from the backend, or nothing when none arrived in time or
    // the backend closed the connection (then closedByPeer() tells).
    std::optional<Packet> next(int timeoutMs);
    bool closedByPeer() const { return peerClosed; }
    // Why the last receive or send came back empty-handed, for messages.
    QString silenceReason(int timeoutMs) const;
    bool connected() const { return socket.state() == QAbstractSocket::ConnectedState; }
    QString errorString() const { return socket.errorString(); }
    void close();

    static QString describe(const Packet& packet);

private:
    QTcpSocket socket;
    QByteArray buffer;
    bool peerClosed = false;
};
