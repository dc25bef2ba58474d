#include "framecodec.h"

#include <QList>

QByteArray FrameCodec::build(quint8 command, const QByteArray& body)
{
    QByteArray frame;
    frame.reserve(frameSize);
    frame.append(char(0x2A));
    frame.append(char(0x2F));
    frame.append(static_cast<char>(command));
    QByteArray filled = body.left(bodySize);
    filled.append(QByteArray(bodySize - filled.size(), ' '));
    frame.append(filled);
    frame.append(static_cast<char>(checksum(frame)));
    frame.append(char(0x23));
    frame.append(char(0x0A));
    frame.append(char(0x0D));
    return frame;
}

quint8 FrameCodec::checksum(const QByteArray& frame)
{
    quint8 sum = 0;
    for (int i = 2; i <= 18 && i < frame.size(); ++i)
        sum = static_cast<quint8>(sum + static_cast<quint8>(frame.at(i)));
    return sum;
}

bool FrameCodec::check(const QByteArray& bytes)
{
    if (bytes.size() != frameSize)
        return false;
    const auto at = [&bytes](int i) { return static_cast<quint8>(bytes.at(i)); };
    return at(0) == 0x2A && at(1) == 0x2F && at(20) == 0x23 && at(21) == 0x0A && at(22) == 0x0D
        && at(19) == checksum(bytes);
}

QByteArray FrameCodec::corrupted(QByteArray frame)
{
    if (frame.size() == frameSize)
        frame[19] = static_cast<char>(static_cast<quint8>(frame.at(19)) + 1);
    return frame;
}

QList<QByteArray> FrameCodec::extract(QByteArray& buffer)
{
    QList<QByteArray> frames;
    while (buffer.size() >= 2) {
        const qsizetype start = buffer.indexOf("*/");
        if (start < 0) {
            // Keep a trailing '*' that may be the start of the next frame.
            buffer = buffer.endsWith('*') ? QByteArray("*") : QByteArray();
            break;
        }
        buffer.remove(0, start);
        if (buffer.size() < frameSize)
            break;
        const QByteArray candidate = buffer.left(frameSize);
        if (check(candidate)) {
            frames.append(candidate);
            buffer.remove(0, frameSize);
        } else {
            buffer.remove(0, 1);
        }
    }
    return frames;
}
