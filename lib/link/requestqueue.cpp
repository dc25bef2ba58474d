#include "link/requestqueue.h"

#include "link/peerclosewatch.h"

#include <QAbstractSocket>
#include <QTimer>

RequestQueue::RequestQueue() = default;
RequestQueue::~RequestQueue() = default;

void RequestQueue::attach(QAbstractSocket* source, QObject* sessionContext,
                          std::function<void(const QByteArray&)> answerRequest)
{
    socket = source;
    context = sessionContext;
    answer = std::move(answerRequest);
    fragmentTimer = std::make_unique<QTimer>();
    fragmentTimer->setSingleShot(true);
    fragmentTimer->setInterval(PacketReader::fragmentWaitMs);
    QObject::connect(fragmentTimer.get(), &QTimer::timeout, context, [this] {
        reader.expire();
        schedule();
    });
    peerWatch = new PeerCloseWatch(socket, [this] { peerFinishedSending(); });
}

void RequestQueue::detach()
{
    fragmentTimer.reset();
    delete peerWatch;
    peerWatch = nullptr;
    socket = nullptr;
    context = nullptr;
    reader.clear();
}

bool RequestQueue::receive(const QByteArray& bytes)
{
    // The timer may not have run yet when the thread was busy; the wait is over all the same.
    if (reader.waiting() && sinceBytes.isValid() && sinceBytes.hasExpired(PacketReader::fragmentWaitMs))
        reader.expire();
    sinceBytes.start();
    peerWatch->watchNotifiers();
    if (!reader.append(bytes))
        return false;
    // Every arrival restarts the wait for the rest of a fragment.
    if (reader.waiting() && !peerClosed())
        fragmentTimer->start();
    else
        fragmentTimer->stop();
    schedule();
    return true;
}

void RequestQueue::schedule()
{
    if (!context || scheduled || !(hasWork() || peerClosed()))
        return;
    scheduled = true;
    QMetaObject::invokeMethod(context, [this] { drain(); }, Qt::QueuedConnection);
}

void RequestQueue::drain()
{
    scheduled = false;
    if (const auto request = next()) {
        dispatching = true;
        answer(*request);
        dispatching = false;
        schedule();
        return;
    }
    if (peerClosed() && !busy() && !hasWork() && socket->state() == QAbstractSocket::ConnectedState)
        socket->disconnectFromHost();
}

bool RequestQueue::peerClosed() const
{
    return peerWatch && peerWatch->peerClosed();
}

void RequestQueue::peerFinishedSending()
{
    // Whatever the socket still holds came before the end of the stream
    // (its readyRead follows), and nothing more can complete a fragment.
    if (socket->bytesAvailable() > 0)
        emit socket->readyRead();
    reader.expire();
    fragmentTimer->stop();
    schedule();
}
