#pragma once

#include <QString>
#include <QtGlobal>

class QCommandLineParser;

// Faults of the line and of the data stream that the simulator can play:
// a stable port path that comes back after an unplug, a stream that falls
// silent, bytes delivered the way a USB bridge's latency timer cuts them,
// and status bytes with more bits than the correctness bit.
struct LineFaults {
    QString linkPath;          // publish the port as this symlink; empty: the pty path
    int replugAfterMs = -1;    // after --unplug-after, come back this much later
    int silentAfterMs = -1;    // per sensor start: stop sending data frames after this long
    int silentForMs = -1;      // ... for this long (< 0: for good)
    int chunkBytes = 0;        // deliver output in writes of this many bytes (0: one frame a write)
    int latencyMs = 16;        // bytes short of a chunk leave at the latest this much later
    quint8 statusBits = 0;     // ORed into every data frame's status byte (bit 0 stays correctness)

    // Data frames are not sent at this time since the sensor started.
    bool silentAt(qint64 sinceStartMs) const;

    static void addOptions(QCommandLineParser& parser);
    // False (after a message on stderr) when a value is not acceptable.
    static bool read(const QCommandLineParser& parser, LineFaults& into);
};
