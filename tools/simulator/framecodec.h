#pragma once

#include <QByteArray>
#include <QtGlobal>

// The 23-byte frame of the analyzer's serial protocol, as the device builds
// and reads it: "*/", a command or status byte, 16 body bytes, the checksum
// of bytes 2..18, then "#", line feed, carriage return.
class FrameCodec {
public:
    static constexpr int frameSize = 23;
    static constexpr int bodySize = 16;

    // Body shorter than 16 bytes is padded with spaces, longer is cut.
    static QByteArray build(quint8 command, const QByteArray& body = {});
    static bool check(const QByteArray& bytes);
    static quint8 checksum(const QByteArray& frame);
    // The same frame with a checksum that no longer matches.
    static QByteArray corrupted(QByteArray frame);

    // Takes every complete valid frame off the front of the buffer, skipping
    // bytes that cannot start one; a partial frame stays for the next read.
    static QList<QByteArray> extract(QByteArray& buffer);
};
