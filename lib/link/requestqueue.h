#pragma once

#include "link/packetreader.h"
#include "ulvex_export.h"

#include <QByteArray>
#include <QTimer>
#include <functional>

class PeerCloseWatch;
class QAbstractSocket;

// The session's inbox: takes the socket's bytes, cuts them into requests
// (PacketReader) and hands them to the session in order, at once when the
// session may answer. While it may not (set-up, a handler waiting in a nested
// event loop, the end of a measurement), requests wait as raw bytes until the
// session calls answerWaiting(). Session-thread-only.
class ULVEX_EXPORT RequestQueue {
public:
    RequestQueue();
    ~RequestQueue();

    // Watches `socket` for the end of the frontend's stream and runs the
    // fragment wait. `mayAnswer` tells whether the session can answer now,
    // `answer` answers one request. Once a frontend that finished sending has
    // all its answers, the socket is closed as for a disconnect.
    void attach(QAbstractSocket* socket, std::function<bool()> mayAnswer,
                std::function<void(const QByteArray&)> answer);
    void detach();
    // Takes received bytes; false when more than PacketReader::heldLimit
    // bytes would be held (nothing is taken then).
    bool receive(const QByteArray& bytes);
    // Answers what waits, as far as the session lets it.
    void answerWaiting();
    void clear() { reader.clear(); }
    // Whether a complete request waits for its answer, or a frontend that
    // finished sending waits for its close (held back by a write backlog, say).
    bool hasWork() const;

private:
    void fragmentWaitEnded();
    void peerFinishedSending();
    bool peerClosed() const;

    PacketReader reader;
    QAbstractSocket* socket = nullptr;
    std::function<bool()> mayAnswer;
    std::function<void(const QByteArray&)> answer;
    QTimer fragmentTimer;
    PeerCloseWatch* peerWatch = nullptr;
    // Times the wait was stretched for bytes the system already held.
    int stretches = 0;
};
