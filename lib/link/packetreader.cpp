#include "link/packetreader.h"

#include "protocol/packet.h"

namespace {
bool isSetDb(char byte)
{
    return static_cast<quint8>(byte) == static_cast<quint8>(opcodes::set_db);
}
// Opcode byte, the longest path, and one byte that marks it too long.
constexpr qsizetype longestSetDb = 1 + PacketReader::maxPathBytes + 1;
} // namespace

bool PacketReader::append(const QByteArray& received)
{
    compact();
    const qsizetype oldSize = bytes.size();
    const qsizetype oldPending = pendingStart;
    const qsizetype oldCuts = cuts.size();
    bytes.append(received);
    scanPending();
    // A path already too long keeps only what shows that it is.
    if (waiting() && isSetDb(bytes.at(pendingStart)) && bytes.size() - pendingStart > longestSetDb)
        bytes.truncate(pendingStart + longestSetDb);
    if (heldBytes() > heldLimit) {
        bytes.truncate(oldSize);
        pendingStart = oldPending;
        cuts.resize(oldCuts);
        return false;
    }
    return true;
}

void PacketReader::scanPending()
{
    while (pendingStart < bytes.size()) {
        if (isSetDb(bytes.at(pendingStart))) {
            // No path holds a control character and every opcode is one, so a
            // path ends at the first byte below 0x20, which starts the next
            // request; without one it waits for more bytes or for expire().
            qsizetype end = pendingStart + 1;
            while (end < bytes.size() && static_cast<quint8>(bytes.at(end)) >= 0x20)
                ++end;
            if (end == bytes.size())
                return;
            // A path too long keeps only what shows that it is.
            if (end - pendingStart > longestSetDb) {
                bytes.remove(pendingStart + longestSetDb, end - pendingStart - longestSetDb);
                end = pendingStart + longestSetDb;
            }
            cuts.append(end);
            pendingStart = end;
            continue;
        }
        // Whole packets complete at once; a short one only through expire().
        if (bytes.size() - pendingStart < packetSize)
            return;
        pendingStart += packetSize;
    }
}

void PacketReader::expire()
{
    if (!waiting())
        return;
    cuts.append(bytes.size());
    pendingStart = bytes.size();
}

std::optional<QByteArray> PacketReader::next()
{
    if (!hasRequest())
        return std::nullopt;
    while (!cuts.isEmpty() && cuts.first() <= head)
        cuts.removeFirst();
    const qsizetype cut = cuts.isEmpty() ? pendingStart : cuts.first();
    qsizetype length = cut - head;
    if (!isSetDb(bytes.at(head)))
        length = qMin(length, packetSize);
    const QByteArray request = bytes.mid(head, length);
    head += length;
    return request;
}

void PacketReader::clear()
{
    bytes.clear();
    cuts.clear();
    head = 0;
    pendingStart = 0;
}

void PacketReader::compact()
{
    // Dropping answered bytes only once they are half the buffer keeps
    // removal from the front linear overall.
    if (head == 0 || head < bytes.size() / 2)
        return;
    bytes.remove(0, head);
    for (qsizetype& cut : cuts)
        cut -= head;
    pendingStart -= head;
    head = 0;
}
