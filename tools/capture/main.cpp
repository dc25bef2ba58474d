// ulvex-device-capture PORT FILE: runs one measurement's worth of device
// commands against the analyzer (or the simulator) and writes every frame in
// both directions, with its time, into a transcript (docs/device.md).
#include "devicecapture.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ulvex-device-capture"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Records a device transcript: reset (stop, read UID), calibrate, start, stream, stop.\n"
        "Exit status: 0 captured, 1 a step failed (the transcript is still written), 2 usage or file problem."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("PORT"), QStringLiteral("Serial port, e.g. /dev/ttyUSB0 or the simulator's /dev/pts/N."));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Transcript to write."));
    parser.addOption({QStringLiteral("seconds"), QStringLiteral("Seconds of streaming to record (1..3600)."),
                      QStringLiteral("s"), QStringLiteral("10")});
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    bool ok = false;
    const int seconds = parser.value(QStringLiteral("seconds")).toInt(&ok);
    if (args.size() != 2 || !ok || seconds < 1 || seconds > 3600) {
        std::fprintf(stderr, "usage: ulvex-device-capture [--seconds N] PORT FILE (N from 1 to 3600)\n");
        return 2;
    }

    DeviceCapture capture({args[0], seconds});
    const bool captured = capture.run();
    if (capture.transcript().entries().isEmpty() && !captured) {
        std::fprintf(stderr, "ulvex-device-capture: %s\n", qPrintable(capture.errorString()));
        return 2;
    }
    QString error;
    if (!capture.transcript().save(args[1], &error)) {
        std::fprintf(stderr, "ulvex-device-capture: cannot write %s: %s\n", qPrintable(args[1]), qPrintable(error));
        return 2;
    }
    std::printf("UID %s, %d data frames (%d correct), %lld lines written to %s\n", qPrintable(capture.uid()),
                capture.dataFrames(), capture.correctFrames(),
                static_cast<long long>(capture.transcript().entries().size()), qPrintable(args[1]));
    if (!captured) {
        std::fprintf(stderr, "ulvex-device-capture: %s\n", qPrintable(capture.errorString()));
        return 1;
    }
    return 0;
}
