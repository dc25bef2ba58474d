#include "link/peerclosewatch.h"

#include <QAbstractSocket>
#include <QEvent>
#include <QSocketNotifier>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

PeerCloseWatch::PeerCloseWatch(QAbstractSocket* socket, std::function<void()> onPeerClosed)
    : QObject(socket)
    , socket(socket)
    , onPeerClosed(std::move(onPeerClosed))
{
    watchNotifiers();
}

void PeerCloseWatch::watchNotifiers()
{
    // The socket's read notifier lives inside it; seeing its events first
    // lets the end of the stream stay unread. Without one, nothing changes.
    const auto notifiers = socket->findChildren<QSocketNotifier*>();
    for (QSocketNotifier* notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read && !watched.contains(notifier)) {
            notifier->installEventFilter(this);
            watched.append(notifier);
        }
    }
}

bool PeerCloseWatch::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::SockAct && event->type() != QEvent::SockClose)
        return false;
    if (!closed && !endOfStreamIsNext())
        return false;
    // The notifier would fire again and again on the unread end of stream.
    static_cast<QSocketNotifier*>(watched)->setEnabled(false);
    if (!closed) {
        closed = true;
        onPeerClosed();
    }
    return true;
}

bool PeerCloseWatch::endOfStreamIsNext() const
{
    return peek() == 0;
}

bool PeerCloseWatch::bytesPending() const
{
    return !closed && peek() > 0;
}

long long PeerCloseWatch::peek() const
{
    if (socket->socketDescriptor() == -1)
        return -1;
    char byte = 0;
#ifdef Q_OS_WIN
    // Qt's sockets do not block.
    return ::recv(static_cast<SOCKET>(socket->socketDescriptor()), &byte, 1, MSG_PEEK);
#else
    return ::recv(static_cast<int>(socket->socketDescriptor()), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
#endif
}
