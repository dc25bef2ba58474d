// Packet decoding with the read splitter and `set_db` path gathering: the
// input is a script of reads, fragment-wait expiries and request takes.
//   op % 5 == 0: a read of the next (byte + 1) bytes
//   op % 5 == 1: the fragment wait runs out
//   op % 5 == 2: take every complete request and decode it
//   op % 5 == 3: a read of ((byte + 1) % 80) KiB of one repeated byte (floods)
//   op % 5 == 4: the reader is cleared
// Checked: the bound on held bytes, request sizes, and that the requests taken
// are the bytes read, in order, cut into pieces (unless a path may have been cut short).
#include "protocol/packet.h"
#include "link/packetreader.h"

#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool condition, int line)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_packetreader: check on line %d failed\n", line);
        std::abort();
    }
}
#define check(condition) require(condition, __LINE__)

// A path over the limit is cut while it is gathered: only a set_db opcode
// followed by more bytes than a path may have can lose some.
bool pathMayBeCut(qsizetype size, bool hasSetDb)
{
    return size > PacketReader::maxPathBytes && hasSetDb;
}

bool hasSetDb(const QByteArray& bytes)
{
    return bytes.contains(static_cast<char>(opcodes::set_db));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    PacketReader reader;
    QByteArray accepted; // every byte the reader took since it was last cleared
    QByteArray taken; // every request it gave back since then
    bool acceptedSetDb = false;
    const auto maxPath = 1 + PacketReader::maxPathBytes + 1;

    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t op = data[at++];
        switch (op % 5) {
        case 0:
        case 3: {
            if (at >= size)
                return 0;
            const std::size_t count = std::size_t(data[at++]) + 1;
            QByteArray read;
            if (op % 5 == 0) {
                const std::size_t length = std::min(count, size - at);
                read = QByteArray(reinterpret_cast<const char*>(data + at), qsizetype(length));
                at += length;
            } else {
                read = QByteArray(qsizetype(count % 80) * 1024, char(op));
            }
            const qsizetype before = reader.heldBytes();
            const bool fits = before + read.size() <= PacketReader::heldLimit;
            const bool readSetDb = hasSetDb(read);
            const bool mayCut = pathMayBeCut(accepted.size() + read.size(), acceptedSetDb || readSetDb);
            const bool appended = reader.append(read);
            check(appended == fits || mayCut);
            if (appended) {
                accepted += read;
                acceptedSetDb = acceptedSetDb || readSetDb;
            } else {
                check(reader.heldBytes() == before);
            }
            check(reader.heldBytes() <= before + read.size());
            break;
        }
        case 1:
            reader.expire();
            check(!reader.waiting());
            break;
        case 2:
            while (reader.hasRequest()) {
                const std::optional<QByteArray> request = reader.next();
                check(request.has_value() && !request->isEmpty());
                const Packet packet = readPacket(*request);
                opcodeName(packet.opcode);
                statusCodeName(static_cast<status_codes>(packet.payload));
                if (packet.opcode == opcodes::set_db) {
                    check(request->size() <= maxPath);
                } else {
                    check(request->size() <= PacketReader::packetSize);
                }
                taken += *request;
            }
            check(!reader.next().has_value());
            break;
        case 4:
            reader.clear();
            check(reader.heldBytes() == 0 && !reader.hasRequest() && !reader.waiting());
            accepted.clear();
            taken.clear();
            acceptedSetDb = false;
            break;
        }
        check(reader.heldBytes() >= 0 && reader.heldBytes() <= PacketReader::heldLimit);
        if (!pathMayBeCut(accepted.size(), acceptedSetDb)) {
            check(taken.size() + reader.heldBytes() == accepted.size());
            if (op % 5 == 2)
                check(accepted.startsWith(taken));
        }
    }
    return 0;
}
