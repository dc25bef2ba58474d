#include "frontendclient.h"

#include <QDeadlineTimer>

bool FrontendClient::connectTo(const QString& host, quint16 port, int timeoutMs)
{
    socket.connectToHost(host, port);
    return socket.waitForConnected(timeoutMs);
}

bool FrontendClient::send(const QByteArray& bytes)
{
    if (socket.state() != QAbstractSocket::ConnectedState || socket.write(bytes) != bytes.size()) {
        peerClosed = peerClosed || socket.state() != QAbstractSocket::ConnectedState;
        return false;
    }
    return socket.waitForBytesWritten(5000);
}

std::optional<Packet> FrontendClient::next(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (buffer.size() < 5) {
        if (socket.bytesAvailable() == 0) {
            const qint64 left = deadline.remainingTime();
            if (socket.state() != QAbstractSocket::ConnectedState) {
                peerClosed = true;
                return std::nullopt;
            }
            if (left == 0)
                return std::nullopt;
            if (!socket.waitForReadyRead(static_cast<int>(left))) {
                // A closed connection ends the wait early; a silent one runs it out.
                peerClosed = socket.state() != QAbstractSocket::ConnectedState
                    || socket.error() == QAbstractSocket::RemoteHostClosedError;
                if (peerClosed && socket.bytesAvailable() > 0)
                    continue;
                return std::nullopt;
            }
        }
        buffer += socket.readAll();
    }
    const Packet packet = readPacket(buffer.left(5));
    buffer.remove(0, 5);
    return packet;
}

QString FrontendClient::silenceReason(int timeoutMs) const
{
    return peerClosed ? QStringLiteral("the backend closed the connection")
                      : QStringLiteral("no reply within %1 ms").arg(timeoutMs);
}

void FrontendClient::close()
{
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(2000);
}

QString FrontendClient::describe(const Packet& packet)
{
    const auto op = static_cast<unsigned>(packet.opcode);
    const QString opName = opcodeName(packet.opcode);
    QString text = QStringLiteral("%1 (%2)").arg(opName.isEmpty() ? QStringLiteral("?") : opName).arg(op);
    // Progress packets carry numbers, everything else a status code.
    if (packet.opcode == opcodes::state_measure || packet.opcode == opcodes::saving_progress
        || (packet.opcode == opcodes::correctness_measure && (packet.payload == 0 || packet.payload == 1))) {
        return text + QStringLiteral(" %1").arg(packet.payload);
    }
    const QString status = statusCodeName(static_cast<status_codes>(packet.payload));
    return text + QStringLiteral(" %1 (%2)").arg(status.isEmpty() ? QStringLiteral("?") : status).arg(packet.payload);
}
