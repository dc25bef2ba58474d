#pragma once

#include <QByteArray>
#include <QList>

// Cuts the bytes received from the device into the pieces a transcript keeps
// one per line: every valid frame on its own, and bytes that belong to no
// valid frame as a run of their own, so nothing the device sent is lost.
class FrameSplitter {
public:
    // The pieces completed by these bytes; a partial frame waits for more.
    QList<QByteArray> feed(const QByteArray& bytes);
    // Whatever is still waiting, as one piece (empty when nothing is).
    QByteArray flush();

private:
    QByteArray buffer;
};
