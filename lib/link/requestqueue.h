#pragma once

#include "link/packetreader.h"
#include "ulvex_export.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <functional>
#include <memory>
#include <optional>

class PeerCloseWatch;
class QAbstractSocket;
class QObject;
class QTimer;

// The session's inbox: takes the socket's bytes, cuts them into requests
// (PacketReader) and hands them to the session one at a time, in order, when
// it may answer. Set-up, handlers and the end of a measurement wait in
// nested event loops; bytes that arrive meanwhile are held, as raw bytes, and
// answered afterwards. Session-thread-only.
class ULVEX_EXPORT RequestQueue {
public:
    RequestQueue();
    ~RequestQueue();

    // The session is not greeted yet: nothing may be answered.
    bool settingUp = true;
    // A handler is running.
    bool dispatching = false;
    // From the last tick of a measurement until the manager reports it
    // finished (stopping the sensor waits too), so that a `save_measure` sent
    // right after `end_measure` meets the finished state.
    bool measurementEnding = false;

    PacketReader reader;

    // On the session thread, with `context` living there: runs the fragment
    // wait, watches `socket` for the end of the frontend's stream and hands
    // each request to `answer`. Once a frontend that finished sending has all
    // its answers, the socket is closed as for a disconnect.
    void attach(QAbstractSocket* socket, QObject* context,
                std::function<void(const QByteArray&)> answer);
    void detach();
    // Takes received bytes; false when more than PacketReader::heldLimit
    // bytes would be held (nothing is taken then).
    bool receive(const QByteArray& bytes);
    // Answers what waits, one request per turn of the event loop, once the
    // session is free; whoever keeps it busy calls this again when done.
    void schedule();
    void clear() { reader.clear(); }

    bool busy() const { return settingUp || dispatching || measurementEnding; }
    // Whether a complete request waits for its answer.
    bool hasWork() const { return reader.hasRequest(); }
    // The next request to answer, or nothing while the session is busy.
    std::optional<QByteArray> next() { return busy() ? std::nullopt : reader.next(); }

private:
    void drain();
    void peerFinishedSending();
    bool peerClosed() const;

    QAbstractSocket* socket = nullptr;
    QObject* context = nullptr;
    std::function<void(const QByteArray&)> answer;
    std::unique_ptr<QTimer> fragmentTimer;
    QElapsedTimer sinceBytes;
    PeerCloseWatch* peerWatch = nullptr;
    bool scheduled = false;
};
