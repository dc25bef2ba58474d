#pragma once

#include <QByteArray>
#include <QList>

// Rebuilds the device's frames from what the serial port hands over. A USB
// bridge may cut a frame over two reads or deliver two frames in one, so
// reads are not frames: bytes are kept until a whole frame is there.
class FrameAssembler {
public:
    // Appends the bytes and returns every complete valid frame now present,
    // in order. Bytes that cannot begin a valid frame are dropped; the start
    // of an incomplete frame (at most one frame's length) stays for later.
    QList<QByteArray> feed(const QByteArray& bytes);
    void clear() { buffer.clear(); }
    qsizetype pending() const { return buffer.size(); }

private:
    QByteArray buffer;
};
