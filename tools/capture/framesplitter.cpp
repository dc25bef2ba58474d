#include "framesplitter.h"

#include "device/v2frame.h"

QList<QByteArray> FrameSplitter::feed(const QByteArray& bytes)
{
    buffer += bytes;
    QList<QByteArray> pieces;
    QByteArray stray;
    while (!buffer.isEmpty()) {
        const qsizetype start = buffer.indexOf("*/");
        if (start < 0) {
            // A trailing '*' may begin the next frame.
            const qsizetype keep = buffer.endsWith('*') ? 1 : 0;
            stray += buffer.left(buffer.size() - keep);
            buffer = buffer.right(keep);
            break;
        }
        stray += buffer.left(start);
        buffer.remove(0, start);
        if (buffer.size() < V2Frame::size)
            break;
        const QByteArray candidate = buffer.left(V2Frame::size);
        if (!V2Frame::isValid(candidate)) {
            stray += buffer.left(1);
            buffer.remove(0, 1);
            continue;
        }
        if (!stray.isEmpty())
            pieces.append(std::exchange(stray, {}));
        pieces.append(candidate);
        buffer.remove(0, V2Frame::size);
    }
    if (!stray.isEmpty())
        pieces.append(stray);
    return pieces;
}

QByteArray FrameSplitter::flush()
{
    return std::exchange(buffer, {});
}
