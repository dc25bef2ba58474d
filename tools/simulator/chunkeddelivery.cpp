#include "chunkeddelivery.h"

ChunkedDelivery::ChunkedDelivery(int chunkBytes, int latencyMs, Writer writer, QObject* parent)
    : QObject(parent)
    , chunk(chunkBytes)
    , write(std::move(writer))
{
    latency.setSingleShot(true);
    latency.setTimerType(Qt::PreciseTimer);
    latency.setInterval(latencyMs);
    connect(&latency, &QTimer::timeout, this, &ChunkedDelivery::flush);
}

void ChunkedDelivery::send(const QByteArray& bytes)
{
    if (chunk <= 0) {
        write(bytes);
        return;
    }
    pending += bytes;
    while (pending.size() >= chunk) {
        write(pending.left(chunk));
        pending.remove(0, chunk);
    }
    // The timer runs from the oldest byte still waiting.
    if (pending.isEmpty())
        latency.stop();
    else if (!latency.isActive())
        latency.start();
}

void ChunkedDelivery::clear()
{
    pending.clear();
    latency.stop();
}

void ChunkedDelivery::flush()
{
    if (pending.isEmpty())
        return;
    write(pending);
    pending.clear();
}
