// Device transcripts end to end: capture from the simulator, replay the
// capture and capture it again, and a whole measurement through the real
// program against a transcript kept in the repository.
#include "simulatorprocess.h"
#include "testpaths.h"
#include "transcript.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {
QString tool(const char* name)
{
    return testpaths::tool(QLatin1String(name));
}

// Runs a tool to its end; its exit code, or -1 when it did not end in time.
// Its console goes to a file: a pipe nobody drains could stall it.
int run(const QString& program, const QStringList& args, QString* output = nullptr, int timeoutMs = 60000,
        const QString& workDir = {}, const QProcessEnvironment& env = {})
{
    QTemporaryDir consoleDir;
    const QString console = consoleDir.filePath(QStringLiteral("console.txt"));
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(console);
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    if (!env.isEmpty())
        process.setProcessEnvironment(env);
    process.start(program, args);
    const bool finished = process.waitForFinished(timeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    QFile file(console);
    if (output && file.open(QIODevice::ReadOnly))
        *output = QString::fromUtf8(file.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// The command letters of the frames in one direction; with `stop`, only
// the device's frames up to the closing stop command (the first 'Y' sent
// after 'X') go to `out`, and those after it go to `stop`.
QByteArray letters(const Transcript& t, Transcript::Direction direction, QByteArray* stop = nullptr)
{
    QByteArray out;
    bool started = false;
    bool stopped = false;
    for (const auto& entry : t.entries()) {
        if (entry.bytes.size() <= 2)
            continue;
        const char letter = entry.bytes.at(2);
        if (entry.direction == Transcript::Direction::ToDevice) {
            started = started || letter == 'X';
            stopped = stopped || (started && letter == 'Y');
        }
        if (entry.direction != direction)
            continue;
        if (stop && stopped)
            *stop += letter;
        else
            out += letter;
    }
    return out;
}

// "YYY RR C XX Y" -> "YRCXY": a command and its retries count once.
QByteArray runsOf(const QByteArray& in)
{
    QByteArray out;
    for (const char c : in) {
        if (out.isEmpty() || out.back() != c)
            out += c;
    }
    return out;
}
} // namespace

class TestTranscriptReplay : public QObject {
    Q_OBJECT
private slots:
    void captureReplayCapture();
    void wholeMeasurementFromStoredTranscript();
};

void TestTranscriptReplay::captureReplayCapture()
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.txt"));
    const QString second = dir.filePath(QStringLiteral("second.txt"));
    {
        SimulatorProcess simulator;
        QVERIFY(simulator.start({QStringLiteral("--interval"), QStringLiteral("100"), QStringLiteral("--pattern"),
                                 QStringLiteral("script:1101"), QStringLiteral("--uid"),
                                 QStringLiteral("CAPTURE000000042")}));
        QString output;
        QCOMPARE(run(tool("ulvex-device-capture"), {QStringLiteral("--seconds"), QStringLiteral("2"),
                                                     simulator.portPath(), first}, &output),
                 0);
        QVERIFY2(output.contains(QStringLiteral("UID CAPTURE000000042")), qPrintable(output));
    }
    const auto recorded = Transcript::load(first);
    QVERIFY2(recorded.has_value(), qPrintable(recorded ? QString() : recorded.error()));
    QCOMPARE(runsOf(letters(*recorded, Transcript::Direction::ToDevice)), QByteArray("YRCXY"));
    // Frames that were on their way when the stop went out are recorded as
    // the stop's answer, and the replay plays them as such.
    QByteArray tail;
    const QByteArray answers = letters(*recorded, Transcript::Direction::FromDevice, &tail);
    QVERIFY2(answers.startsWith("RC"), answers.toHex().constData());
    const QByteArray stream = answers.mid(2) + tail;
    QVERIFY2(stream.size() >= 10, qPrintable(QString::number(stream.size())));
    for (int i = 0; i < stream.size(); ++i)
        QCOMPARE(int(stream.at(i)), i % 4 == 2 ? 0 : 1);

    {
        SimulatorProcess replay;
        QVERIFY(replay.start({QStringLiteral("--replay"), first}));
        QString output;
        QCOMPARE(run(tool("ulvex-device-capture"), {QStringLiteral("--seconds"), QStringLiteral("2"),
                                                     replay.portPath(), second}, &output),
                 0);
        QVERIFY2(output.contains(QStringLiteral("UID CAPTURE000000042")), qPrintable(output));
    }
    const auto replayed = Transcript::load(second);
    QVERIFY(replayed.has_value());
    QCOMPARE(runsOf(letters(*replayed, Transcript::Direction::ToDevice)), QByteArray("YRCXY"));
    // The same answers and data frames, in order. How many frames fit in the
    // second capture's 2 s depends on scheduling (a loaded machine loses
    // some), but the replay never sends a frame it did not record, and it
    // answers the stop as recorded (again for each repeat of the stop).
    QByteArray again = letters(*replayed, Transcript::Direction::FromDevice);
    const QByteArray both = "recorded " + answers.toHex() + " | " + tail.toHex() + " replayed " + again.toHex();
    if (!tail.isEmpty()) {
        QVERIFY2(again.endsWith(tail), both.constData());
        while (again.size() > 2 + tail.size() && again.endsWith(tail))
            again.chop(tail.size());
    }
    QVERIFY2(again.size() <= answers.size(), both.constData());
    QVERIFY2(again.size() >= 2 + stream.size() / 2, both.constData());
    QVERIFY2(answers.startsWith(again), both.constData());
}

void TestTranscriptReplay::wholeMeasurementFromStoredTranscript()
{
    // The program finds parameters.db at ../../../data/common from its working
    // directory, the personal database where set_db points.
    QTemporaryDir root;
    const QString work = root.filePath(QStringLiteral("app/bin/work"));
    const QString personal = root.filePath(QStringLiteral("personal"));
    const QString personalDb = personal + QStringLiteral("/personal.db");
    QVERIFY(QDir().mkpath(work) && QDir().mkpath(personal) && QDir().mkpath(root.filePath(QStringLiteral("data/common"))));
    QString output;
    QCOMPARE(run(tool("ulvex-dbtool"), {QStringLiteral("create-parameters"),
                                        root.filePath(QStringLiteral("data/common/parameters.db"))}, &output), 0);
    const int parameters = output.section(QLatin1Char(' '), 0, 0).toInt();
    QVERIFY2(parameters > 0, qPrintable(output));
    QCOMPARE(run(tool("ulvex-dbtool"), {QStringLiteral("create-personal"), personalDb}), 0);
    QCOMPARE(run(tool("ulvex-dbtool"), {QStringLiteral("add-person"), personalDb, QStringLiteral("Replay Person"),
                                        QStringLiteral("1975-03-02"), QStringLiteral("Male"), QStringLiteral("181"),
                                        QStringLiteral("77")}, &output), 0);
    const QString person = output.trimmed().section(QLatin1Char(' '), -1);

    SimulatorProcess replay;
    QVERIFY(replay.start({QStringLiteral("--replay"), testpaths::sourceDir() + QStringLiteral("/tests/data/transcripts/simulator-75s.txt")}));
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.remove(QStringLiteral("XDG_DATA_HOME"));
    env.insert(QStringLiteral("ULVEX_DEVICE_PORT"), replay.portPath());
    env.insert(QStringLiteral("ULVEX_REPORT_SERVER"), QStringLiteral("off"));
    env.insert(QStringLiteral("ULVEX_BACKEND_LOG_LEVEL"), QStringLiteral("debug"));
    const int status = run(tool("ulvex-client"),
                           {QStringLiteral("--quiet"), QStringLiteral("--launch"), tool("Ulvexbackend"),
                            QStringLiteral("setdb:") + personal, QStringLiteral("measure:") + person,
                            QStringLiteral("exit")},
                           &output, 180000, work, env);
    QVERIFY2(status == 0, qPrintable(output.right(3000)));
    QVERIFY2(output.contains(QStringLiteral("UID has been read: SIM0000000000001")), qPrintable(output));

    QCOMPARE(run(tool("ulvex-dbtool"), {QStringLiteral("list-reports"), personalDb}, &output), 0);
    QVERIFY2(output.contains(QStringLiteral("\n1 reports")), qPrintable(output));
    const auto results = QRegularExpression(QStringLiteral("\n  (\\d+) results\n")).match(output);
    QVERIFY2(results.hasMatch(), qPrintable(output.right(200)));
    // One result per scored reference parameter.
    QVERIFY(results.captured(1).toInt() > 0 && results.captured(1).toInt() <= parameters);
}

QTEST_GUILESS_MAIN(TestTranscriptReplay)
#include "tst_transcriptreplay.moc"
