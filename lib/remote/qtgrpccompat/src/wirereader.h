#pragma once

#include <QByteArrayView>
#include <QtGlobal>

enum WireType : quint32 { Varint = 0, Fixed64 = 1, LengthDelimited = 2, StartGroup = 3, EndGroup = 4, Fixed32 = 5 };

// How deep groups may nest before a message counts as malformed, as in protobuf.
constexpr int maxGroupDepth = 100;

// Reads protobuf's wire format from a bounded view; every read checks what is left.
class WireReader {
public:
    explicit WireReader(QByteArrayView data) : data(data) { }
    bool atEnd() const { return at >= data.size(); }

    bool varint(quint64& value)
    {
        value = 0;
        for (int shift = 0; shift < 70; shift += 7) {
            if (atEnd())
                return false;
            const auto byte = quint8(data[at++]);
            value |= quint64(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return true;
        }
        return false; // more than 10 bytes
    }

    bool bytes(qsizetype length, QByteArrayView& out)
    {
        if (length < 0 || length > data.size() - at)
            return false;
        out = data.sliced(at, length);
        at += length;
        return true;
    }

    // Skips the rest of a group opened by field `number`, nested groups
    // included; false when it does not end properly.
    bool skipGroup(quint64 number, int depth = 1);

private:
    QByteArrayView data;
    qsizetype at = 0;
};
