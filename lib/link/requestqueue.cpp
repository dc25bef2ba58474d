#include "link/requestqueue.h"

#include "link/packet.h"

bool RequestQueue::hasWork(const QIODevice* source) const
{
    return !held.isEmpty() || (source && source->bytesAvailable() > 0);
}

std::optional<QByteArray> RequestQueue::next(QIODevice* source)
{
    if (dispatching || measurementEnding)
        return std::nullopt;
    if (held.isEmpty() && source && source->bytesAvailable() > 0)
        held = splitBacklog(source->readAll());
    if (held.isEmpty())
        return std::nullopt;
    return held.takeFirst();
}

QList<QByteArray> RequestQueue::splitBacklog(const QByteArray& bytes)
{
    QList<QByteArray> messages;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const bool setDb = static_cast<quint8>(bytes.at(at)) == static_cast<quint8>(opcodes::set_db);
        const qsizetype length = setDb ? bytes.size() - at : qMin<qsizetype>(5, bytes.size() - at);
        messages.append(bytes.mid(at, length));
        at += length;
    }
    return messages;
}
