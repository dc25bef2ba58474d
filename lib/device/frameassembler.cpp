#include "device/frameassembler.h"

#include "device/v2frame.h"

namespace {
const QByteArray startMarker("*/", 2);
}

QList<QByteArray> FrameAssembler::feed(const QByteArray& bytes)
{
    buffer += bytes;
    QList<QByteArray> frames;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype start = buffer.indexOf(startMarker, pos);
        if (start < 0) {
            // A lone '*' at the end may be the first half of the next marker.
            pos = buffer.endsWith('*') ? buffer.size() - 1 : buffer.size();
            break;
        }
        pos = start;
        if (buffer.size() - pos < V2Frame::size)
            break;
        const QByteArray candidate = buffer.mid(pos, V2Frame::size);
        if (V2Frame::isValid(candidate)) {
            frames.append(candidate);
            pos += V2Frame::size;
        } else {
            // Not a frame after all (noise or a damaged one): look for the next marker.
            pos += 1;
        }
    }
    buffer.remove(0, pos);
    return frames;
}
