#include "device/v2frame.h"

#include <QRandomGenerator64>

QByteArray V2Frame::build(quint8 command)
{
    QByteArray frame;
    frame.reserve(size);
    frame.append(char(0x2A));
    frame.append(char(0x2F));
    frame.append(static_cast<char>(command));
    for (int i = 0; i < bodySize; ++i) {
        // Filler never holds 0x00 or 0xFF, which the device reads as line states.
        const quint64 draw = QRandomGenerator64::global()->generate();
        const auto filler = static_cast<quint8>((((draw & 0xFFFFFFFFu) * 254u) >> 32) + 1u);
        frame.append(static_cast<char>(filler));
    }
    frame.append(static_cast<char>(checksum(frame)));
    frame.append(char(0x23));
    frame.append(char(0x0A));
    frame.append(char(0x0D));
    return frame;
}

quint8 V2Frame::checksum(const QByteArray& frame)
{
    quint8 sum = 0;
    for (int i = commandOffset; i < checksumOffset; ++i)
        sum = static_cast<quint8>(sum + static_cast<quint8>(frame.at(i)));
    return sum;
}

bool V2Frame::isValid(const QByteArray& bytes)
{
    if (bytes.size() != size)
        return false;
    const auto at = [&bytes](int i) { return static_cast<quint8>(bytes.at(i)); };
    return at(0) == 0x2A && at(1) == 0x2F && at(20) == 0x23 && at(21) == 0x0A && at(22) == 0x0D
        && at(checksumOffset) == checksum(bytes);
}
