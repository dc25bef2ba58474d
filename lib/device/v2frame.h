#pragma once

#include <QByteArray>
#include <QtGlobal>

// Layout of the analyzer's 23-byte frame: "*/", the command or status byte,
// 16 body bytes, the 8-bit sum of bytes 2..18, then "#", LF, CR.
class V2Frame {
public:
    static constexpr int size = 23;
    static constexpr int commandOffset = 2;
    static constexpr int bodyOffset = 3;
    static constexpr int bodySize = 16;
    static constexpr int checksumOffset = 19;

    // A frame to send: the body is random filler in 1..254.
    static QByteArray build(quint8 command);
    // Exactly one well-formed frame with a matching checksum.
    static bool isValid(const QByteArray& bytes);
    static quint8 checksum(const QByteArray& frame);
};
