#include "link/requestqueue.h"

#include "link/peerclosewatch.h"

#include <QAbstractSocket>

namespace {
// Bytes that had arrived when the wait ran out are taken first; they are read
// within an event loop turn or two, so a few short stretches are plenty.
constexpr int stretchMs = 1;
constexpr int maxStretches = 20;
} // namespace

RequestQueue::RequestQueue()
{
    fragmentTimer.setSingleShot(true);
    // A coarse timer may fire up to 5% early, splitting a packet whose rest
    // comes just inside the wait.
    fragmentTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&fragmentTimer, &QTimer::timeout, [this] { fragmentWaitEnded(); });
}

RequestQueue::~RequestQueue() = default;

void RequestQueue::attach(QAbstractSocket* source, std::function<bool()> mayAnswerNow,
                          std::function<void(const QByteArray&)> answerRequest)
{
    socket = source;
    mayAnswer = std::move(mayAnswerNow);
    answer = std::move(answerRequest);
    peerWatch = new PeerCloseWatch(socket, [this] { peerFinishedSending(); });
}

void RequestQueue::detach()
{
    fragmentTimer.stop();
    delete peerWatch;
    peerWatch = nullptr;
    socket = nullptr;
    reader.clear();
}

bool RequestQueue::receive(const QByteArray& bytes)
{
    if (!socket)
        return true;
    peerWatch->watchNotifiers();
    if (!reader.append(bytes))
        return false;
    // Every arrival restarts the wait for the rest of a fragment.
    stretches = 0;
    if (reader.waiting() && !peerClosed())
        fragmentTimer.start(PacketReader::fragmentWaitMs);
    else
        fragmentTimer.stop();
    answerWaiting();
    return true;
}

void RequestQueue::fragmentWaitEnded()
{
    // The wait counts from the bytes' arrival, not from when this thread got
    // to them: what the system already holds came in time.
    if (peerWatch && peerWatch->bytesPending() && stretches < maxStretches) {
        ++stretches;
        fragmentTimer.start(stretchMs);
        return;
    }
    reader.expire();
    answerWaiting();
}

void RequestQueue::answerWaiting()
{
    while (socket && reader.hasRequest() && mayAnswer()) {
        if (const auto request = reader.next())
            answer(*request);
    }
    if (socket && peerClosed() && !reader.hasRequest() && !reader.waiting() && mayAnswer()
        && socket->state() == QAbstractSocket::ConnectedState) {
        socket->disconnectFromHost();
    }
}

bool RequestQueue::hasWork() const
{
    return reader.hasRequest()
        || (socket && peerClosed() && socket->state() == QAbstractSocket::ConnectedState);
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
    fragmentTimer.stop();
    answerWaiting();
}
