#include "roughfrontend.h"

#include <QDeadlineTimer>
#include <QThread>

#if defined(Q_OS_WIN)
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

bool RoughFrontend::connect(int timeoutMs, quint16 port)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (socket.waitForConnected(1000)) {
            // Small writes must leave as they are written, not merged.
            socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
            return true;
        }
        socket.abort();
        QThread::msleep(50);
    }
    return false;
}

bool RoughFrontend::send(const QByteArray& bytes)
{
    if (socket.write(bytes) != bytes.size())
        return false;
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(5000))
            return false;
    }
    return true;
}

bool RoughFrontend::sendInPieces(const QByteArray& bytes, const QList<int>& sizes, int pauseMs)
{
    qsizetype at = 0;
    for (qsizetype i = 0; i < sizes.size() && at < bytes.size(); ++i) {
        const qsizetype length = i + 1 == sizes.size() ? bytes.size() - at : sizes.at(i);
        if (i > 0)
            QThread::msleep(static_cast<unsigned long>(pauseMs));
        if (!send(bytes.mid(at, length)))
            return false;
        at += length;
    }
    return true;
}

qint64 RoughFrontend::flood(const QByteArray& unit, qint64 total, int stallMs)
{
    QByteArray block;
    while (block.size() < 64 * 1024)
        block += unit;
    qint64 written = 0;
    while (written < total && socket.state() == QAbstractSocket::ConnectedState) {
        const qint64 n = socket.write(block.left(qMin<qint64>(block.size(), total - written)));
        if (n <= 0)
            break;
        written += n;
        if (!socket.waitForBytesWritten(stallMs))
            break;
    }
    return written;
}

bool RoughFrontend::halfClose()
{
#if defined(Q_OS_WIN)
    return ::shutdown(static_cast<SOCKET>(socket.socketDescriptor()), SD_SEND) == 0;
#else
    return ::shutdown(static_cast<int>(socket.socketDescriptor()), SHUT_WR) == 0;
#endif
}

bool RoughFrontend::waitForData(int timeoutMs)
{
    if (socket.bytesAvailable() > 0)
        return true;
    if (closed || socket.state() != QAbstractSocket::ConnectedState) {
        closed = true;
        return false;
    }
    const bool ready = socket.waitForReadyRead(timeoutMs);
    if (socket.state() != QAbstractSocket::ConnectedState)
        closed = true;
    return ready || socket.bytesAvailable() > 0;
}

std::optional<Packet> RoughFrontend::next(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (buffer.size() < 5) {
        if (!waitForData(static_cast<int>(deadline.remainingTime())))
            return std::nullopt;
        buffer += socket.readAll();
    }
    const Packet packet = readPacket(buffer.left(5));
    buffer.remove(0, 5);
    return packet;
}

std::optional<QList<Packet>> RoughFrontend::untilClosed(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QList<Packet> packets;
    while (!deadline.hasExpired()) {
        if (const auto packet = next(static_cast<int>(deadline.remainingTime())))
            packets << *packet;
        else if (closed)
            return packets;
    }
    return std::nullopt;
}
