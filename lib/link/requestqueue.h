#pragma once

#include "ulvex_export.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <optional>

// Keeps the session's requests in order while the session thread is busy.
// Handlers and the end of a measurement wait in nested event loops; requests
// that arrive meanwhile are held here and answered afterwards, one by one.
// Session-thread-only.
class ULVEX_EXPORT RequestQueue {
public:
    // A handler is running.
    bool dispatching = false;
    // From the last tick of a measurement until the manager reports it
    // finished (stopping the sensor waits too), so that a `save_measure` sent
    // right after `end_measure` meets the finished state.
    bool measurementEnding = false;

    // New requests must wait their turn.
    bool holding() const { return dispatching || measurementEnding || !held.isEmpty(); }
    void hold(const QByteArray& message) { held.append(message); }
    void clear() { held.clear(); }

    // Whether there is anything to answer, held or still unread on `source`.
    bool hasWork(const QIODevice* source) const;
    // The next request to answer, or nothing while the session is busy.
    // Reads `source` when nothing is held: a socket does not signal data
    // again that arrived while a handler waited inside its readyRead.
    std::optional<QByteArray> next(QIODevice* source);

    // Requests that piled up unread: each is one 5-byte packet except
    // set_db, whose path runs to the end of what was sent.
    static QList<QByteArray> splitBacklog(const QByteArray& bytes);

private:
    QList<QByteArray> held;
};
