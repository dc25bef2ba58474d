#include "linefaults.h"

#include <QCommandLineParser>
#include <cstdio>

namespace {
bool readNumber(const QCommandLineParser& parser, const QString& name, int minimum, int maximum, int& into)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok, 0);
    if (!ok || value < minimum || value > maximum) {
        std::fprintf(stderr, "ulvex-device-sim: --%s needs a whole number from %d to %d\n", qPrintable(name),
                     minimum, maximum);
        return false;
    }
    into = value;
    return true;
}
} // namespace

bool LineFaults::silentAt(qint64 sinceStartMs) const
{
    if (silentAfterMs < 0 || sinceStartMs < silentAfterMs)
        return false;
    return silentForMs < 0 || sinceStartMs < static_cast<qint64>(silentAfterMs) + silentForMs;
}

void LineFaults::addOptions(QCommandLineParser& parser)
{
    parser.addOptions({
        {QStringLiteral("link"), QStringLiteral("Publish the port as a symlink at this path (stable over a replug)."),
         QStringLiteral("path")},
        {QStringLiteral("replug-after"),
         QStringLiteral("After --unplug-after, come back on the same --link path this many ms later."),
         QStringLiteral("ms")},
        {QStringLiteral("silent-after"),
         QStringLiteral("Stop sending data frames this many ms after each sensor start (port stays open)."),
         QStringLiteral("ms")},
        {QStringLiteral("silent-for"), QStringLiteral("Resume data frames after this many ms of silence."),
         QStringLiteral("ms")},
        {QStringLiteral("chunk"), QStringLiteral("Write output in pieces of this many bytes, frames cut and glued."),
         QStringLiteral("bytes")},
        {QStringLiteral("latency"), QStringLiteral("With --chunk: bytes short of a piece leave after this many ms."),
         QStringLiteral("ms")},
        {QStringLiteral("status-bits"),
         QStringLiteral("Bits ORed into every data frame's status byte, e.g. 0xfe (bit 0 is ignored)."),
         QStringLiteral("byte")},
    });
}

bool LineFaults::read(const QCommandLineParser& parser, LineFaults& into)
{
    into.linkPath = parser.value(QStringLiteral("link"));
    int bits = 0;
    if (!readNumber(parser, QStringLiteral("replug-after"), 0, 3600000, into.replugAfterMs)
        || !readNumber(parser, QStringLiteral("silent-after"), 0, 3600000, into.silentAfterMs)
        || !readNumber(parser, QStringLiteral("silent-for"), 0, 3600000, into.silentForMs)
        || !readNumber(parser, QStringLiteral("chunk"), 1, 4096, into.chunkBytes)
        || !readNumber(parser, QStringLiteral("latency"), 0, 10000, into.latencyMs)
        || !readNumber(parser, QStringLiteral("status-bits"), 0, 255, bits))
        return false;
    into.statusBits = static_cast<quint8>(bits & 0xFE);
    if (into.replugAfterMs >= 0 && (into.linkPath.isEmpty() || !parser.isSet(QStringLiteral("unplug-after")))) {
        std::fprintf(stderr, "ulvex-device-sim: --replug-after needs --unplug-after and --link\n");
        return false;
    }
    return true;
}
