// ulvex-device-sim: a stand-in for the analyzer on a pseudo-terminal. Prints
// the slave path as its first line; point ULVEX_DEVICE_PORT at it.

#include "correctnesspattern.h"
#include "linefaults.h"
#include "portlink.h"
#include "pseudoterminal.h"
#include "replaydevice.h"
#include "signalwatcher.h"
#include "simulateddevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSaveFile>
#include <cstdio>
#include <optional>

namespace {
bool readInt(const QCommandLineParser& parser, const QString& name, int minimum, int& into)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < minimum) {
        std::fprintf(stderr, "ulvex-device-sim: --%s needs a whole number >= %d\n", qPrintable(name), minimum);
        return false;
    }
    into = value;
    return true;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ulvex-device-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated analyzer device on a pseudo-terminal."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("uid"), QStringLiteral("UID answered to 'R' (16 characters)."), QStringLiteral("uid"),
         QStringLiteral("SIM0000000000001")},
        {QStringLiteral("pattern"),
         QStringLiteral("Correctness of successive data frames: always, never, alternate or script:<0/1 digits>, "
                        "repeated from the start."),
         QStringLiteral("pattern"), QStringLiteral("always")},
        {QStringLiteral("interval"), QStringLiteral("Milliseconds between data frames."), QStringLiteral("ms"),
         QStringLiteral("50")},
        {QStringLiteral("response-delay"), QStringLiteral("Milliseconds before answering a command."),
         QStringLiteral("ms"), QStringLiteral("20")},
        {QStringLiteral("ignore"), QStringLiteral("Command letters never answered, e.g. C or CR."),
         QStringLiteral("letters")},
        {QStringLiteral("unplug-after"), QStringLiteral("Close the line and exit after this many milliseconds."),
         QStringLiteral("ms")},
        {QStringLiteral("corrupt-every"), QStringLiteral("Give every Nth frame sent a wrong checksum."),
         QStringLiteral("n")},
        {QStringLiteral("port-file"), QStringLiteral("Also write the slave path to this file."),
         QStringLiteral("file")},
        {QStringLiteral("verbose"), QStringLiteral("Log received and sent frames to stderr.")},
        {QStringLiteral("replay"),
         QStringLiteral("Play the device recorded in this transcript (ulvex-device-capture) instead; "
                        "the behaviour options are ignored."),
         QStringLiteral("file")},
    });
    LineFaults::addOptions(parser);
    parser.process(app);

    std::optional<Transcript> transcript;
    if (parser.isSet(QStringLiteral("replay"))) {
        auto loaded = Transcript::load(parser.value(QStringLiteral("replay")));
        if (!loaded) {
            std::fprintf(stderr, "ulvex-device-sim: %s\n", qPrintable(loaded.error()));
            return 2;
        }
        transcript = std::move(*loaded);
    }

    SimulatedDevice::Options options;
    options.uid = parser.value(QStringLiteral("uid")).toLatin1();
    if (options.uid.size() != 16)
        std::fprintf(stderr, "ulvex-device-sim: warning: --uid is not 16 characters; it is padded or cut\n");
    const auto pattern = CorrectnessPattern::parse(parser.value(QStringLiteral("pattern")));
    if (!pattern) {
        std::fprintf(stderr, "ulvex-device-sim: unknown --pattern '%s'\n",
                     qPrintable(parser.value(QStringLiteral("pattern"))));
        return 2;
    }
    options.pattern = *pattern;
    options.ignored = parser.value(QStringLiteral("ignore")).toLatin1();
    options.verbose = parser.isSet(QStringLiteral("verbose"));
    if (!readInt(parser, QStringLiteral("interval"), 1, options.intervalMs)
        || !readInt(parser, QStringLiteral("response-delay"), 0, options.responseDelayMs)
        || !readInt(parser, QStringLiteral("unplug-after"), 0, options.unplugAfterMs)
        || !readInt(parser, QStringLiteral("corrupt-every"), 1, options.corruptEvery)
        || !LineFaults::read(parser, options.faults))
        return 2;

    PseudoTerminal terminal;
    if (!terminal.open()) {
        std::fprintf(stderr, "ulvex-device-sim: %s\n", qPrintable(terminal.errorString()));
        return 1;
    }
    // With --link the backend is given the link, which outlives a replug.
    PortLink link(options.faults.linkPath);
    if (!options.faults.linkPath.isEmpty() && !link.publish(terminal.slavePath()))
        return 1;
    const QString portPath = options.faults.linkPath.isEmpty() ? terminal.slavePath() : link.path();
    std::printf("%s\n", qPrintable(portPath));
    std::fflush(stdout);

    if (parser.isSet(QStringLiteral("port-file"))) {
        // Written whole or not at all, so a watcher never reads half a path.
        QSaveFile file(parser.value(QStringLiteral("port-file")));
        if (!file.open(QIODevice::WriteOnly) || file.write(portPath.toLocal8Bit() + '\n') < 0
            || !file.commit()) {
            std::fprintf(stderr, "ulvex-device-sim: cannot write the port file\n");
            return 1;
        }
    }

    SignalWatcher watcher;
    if (!watcher.install())
        std::fprintf(stderr, "ulvex-device-sim: cannot watch SIGTERM/SIGINT\n");
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &app, [] { QCoreApplication::quit(); });

    if (transcript) {
        ReplayDevice replay(terminal, ReplayScript(*transcript), options.verbose);
        replay.start();
        return app.exec();
    }

    SimulatedDevice device(terminal, options);
    device.setLink(&link);
    QObject::connect(&device, &SimulatedDevice::unplugged, &app, [] { QCoreApplication::quit(); });
    device.start();
    return app.exec();
}
