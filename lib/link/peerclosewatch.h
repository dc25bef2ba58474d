#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

class QAbstractSocket;
class QSocketNotifier;

// Notices that the frontend has finished sending (a half-close, or a close)
// before the socket itself does. A socket that reads the end of the stream
// closes at once, which would drop the replies to the last requests although
// a half-closed frontend still waits for them; so the end of the stream is
// left unread here and reported instead. Lives on the socket's thread.
class PeerCloseWatch : public QObject {
public:
    PeerCloseWatch(QAbstractSocket* socket, std::function<void()> onPeerClosed);

    bool peerClosed() const { return closed; }
    // Bytes wait in the system that the socket has not read yet.
    bool bytesPending() const;
    // Looks again for a notifier the socket created since (called per read).
    void watchNotifiers();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool endOfStreamIsNext() const;
    // What a peek at the next byte returns: 1 a byte, 0 the end of the stream, -1 nothing yet.
    long long peek() const;

    QAbstractSocket* socket;
    std::function<void()> onPeerClosed;
    QList<QPointer<QSocketNotifier>> watched;
    bool closed = false;
};
