#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <functional>

// Hands the simulator's output to the line. By default every frame is one
// write. With a chunk size it behaves like a USB serial bridge with a
// latency timer: bytes leave in pieces of that size, so a frame is cut
// across writes and one write carries the end of one frame and the start of
// the next; bytes short of a piece leave at the latest `latencyMs` later.
class ChunkedDelivery : public QObject {
    Q_OBJECT
public:
    using Writer = std::function<bool(const QByteArray&)>;

    ChunkedDelivery(int chunkBytes, int latencyMs, Writer writer, QObject* parent = nullptr);

    void send(const QByteArray& bytes);
    // Drops what has not been written (the line went away).
    void clear();

private:
    void flush();

    int chunk;
    Writer write;
    QByteArray pending;
    QTimer latency;
};
