#pragma once

#include "protocol/packet.h"
#include "ulvex_export.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>
#include <optional>

// Cuts the bytes that the frontend sends into requests, whatever the reads
// look like: each request is one 5-byte packet, except `set_db`, whose path
// runs to the first control byte (the next request's opcode) or to the end of
// what arrives without a pause. A packet shorter than 5 bytes, and a path
// with nothing after it, are complete only once no more bytes came for
// fragmentWaitMs; the owner times that wait and calls expire().
// Pure: no socket, no timers, no logging, so it can be driven byte by byte.
class ULVEX_EXPORT PacketReader {
public:
    static constexpr qsizetype packetSize = 5;
    // How long a fragment waits for the rest of its packet or path.
    static constexpr int fragmentWaitMs = 100;
    // Raw bytes held at most (answered requests no longer count). A frontend
    // sends a few packets at a time; this is thousands of requests.
    static constexpr qsizetype heldLimit = 64 * 1024;
    // Longest `set_db` path accepted. A longer path is cut to one byte over
    // this while it is gathered, so that it stays recognisably too long.
    static constexpr qsizetype maxPathBytes = maxDbPathBytes;

    // Takes received bytes. False, and nothing taken, when the held bytes
    // would pass heldLimit.
    bool append(const QByteArray& received);
    // A short packet or a `set_db` path waits for more bytes.
    bool waiting() const { return pendingStart < bytes.size(); }
    // The fragment wait ran out: what waits is complete as it is.
    void expire();
    // The next complete request, in arrival order.
    std::optional<QByteArray> next();
    bool hasRequest() const { return head < pendingStart; }
    qsizetype heldBytes() const { return bytes.size() - head; }
    void clear();

private:
    void scanPending();
    void compact();

    QByteArray bytes;
    // Start of the first request not yet taken by next().
    qsizetype head = 0;
    // Start of the first request that is not complete yet.
    qsizetype pendingStart = 0;
    // Ends of requests that expire() completed (short packets, paths).
    QList<qsizetype> cuts;
};
