#include "wirereader.h"

bool WireReader::skipGroup(quint64 number, int depth)
{
    if (depth > maxGroupDepth)
        return false;
    for (;;) {
        quint64 tag = 0;
        quint64 value = 0;
        QByteArrayView skipped;
        if (!varint(tag) || (tag >> 3) == 0 || (tag >> 3) > 536870911)
            return false;
        switch (quint32(tag & 7)) {
        case Varint:
            if (!varint(value))
                return false;
            break;
        case Fixed64:
        case Fixed32:
            if (!bytes((tag & 7) == Fixed64 ? 8 : 4, skipped))
                return false;
            break;
        case LengthDelimited:
            if (!varint(value) || value > quint64(data.size()) || !bytes(qsizetype(value), skipped))
                return false;
            break;
        case StartGroup:
            if (!skipGroup(tag >> 3, depth + 1))
                return false;
            break;
        case EndGroup: return (tag >> 3) == number;
        default: return false;
        }
    }
}

