// Start-up of the real program: command line, exit codes, launch date,
// log file and level, single-instance take-over.
#include "programrunner.h"
#include "sessionfixture.h"
#include "testtools.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTime>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString secondsAt(const QDate& date, const QTime& time = QTime(12, 0))
{
    return QString::number(QDateTime(date, time).toSecsSinceEpoch());
}

// A process named like the program that holds the program's guard, standing
// in for a stale instance.
struct GuardHolder {
    GuardHolder(const QString& executable)
    {
        process.start(executable, {QStringLiteral("Q7#mR2&vX9!k")});
    }
    ~GuardHolder()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    bool held()
    {
        if (!process.waitForReadyRead(5000))
            return false;
        return process.readLine().trimmed() == "held";
    }
    QProcess process;
};

// The guard helper copied under a name the program takes for its own.
QString staleCopy(const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    QFile::copy(testpaths::tool(QStringLiteral("runguard_helper")), path);
    return path;
}

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void exitCodes_data();
    void exitCodes();
    void acceptedLaunchReachesTheServerStep_data();
    void acceptedLaunchReachesTheServerStep();
    void takenPortEndsTheProgram();
    void logFileNameAndFolder();
    void logLevelFromEnvironment_data();
    void logLevelFromEnvironment();
    void unwritableLogFolderFallsBackToConsole();
    void consolePipeOfTheParentKeepsItsFlags_data();
    void consolePipeOfTheParentKeepsItsFlags();
    void consoleReaderGoneLeavesTheProgramRunning();
    void takesOverFromStaleInstance();
    void faultyCommandLineStillTakesOver();
    void givesUpWhenHolderCannotBeKilled();
    void terminationSignalsEndInOrder_data();
    void terminationSignalsEndInOrder();
    void unreadConsoleNeverStallsTheSession_data();
    void unreadConsoleNeverStallsTheSession();
};

void TestProgram::exitCodes_data()
{
    const QDate today = QDate::currentDate();
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("expectedLines");
    QTest::newRow("-v") << QStringList{"-v"} << 0 << QStringList{"Ulvexbackend version: 4.2.2"};
    QTest::newRow("--version with args") << QStringList{"--version", "1", "1000"} << 0
                                         << QStringList{"Ulvexbackend version: 4.2.2"};
    QTest::newRow("nothing") << QStringList{} << 255
                             << QStringList{"One or more argument is missing", "Received arguments: []"};
    QTest::newRow("time only") << QStringList{"1760339661"} << 255
                               << QStringList{"Received arguments: [1760339661]"};
    QTest::newRow("code only") << QStringList{"--code", "2000"} << 255
                               << QStringList{"Received arguments: [2000]"};
    QTest::newRow("bad number") << QStringList{"abc", "1000"} << 255
                                << QStringList{"Exception: ", "Received arguments: []"};
    QTest::newRow("undeclared option") << QStringList{"--frobnicate", "1", "1000"} << 255
                                       << QStringList{"Exception: ", "Received arguments: []"};
    QTest::newRow("over-long argument") << QStringList{"1760339661", QString(50000, '1')} << 255
                                        << QStringList{"Argument 2 is too long: 50000 characters, at most 4096",
                                                       "Received arguments: []"};
    QTest::newRow("over-long argument beside -v") << QStringList{"-v", "--code=" + QString(5000, '0') + "1000"} << 255
                                                  << QStringList{"Argument 2 is too long", "Received arguments: []"};
    QTest::newRow("argument at the length bound") << QStringList{QString(4096 - 10, '0') + "1760339661", "1500"} << 254
                                                  << QStringList{"Unknown device type: 1500"};
    QTest::newRow("unknown code") << QStringList{secondsAt(today), "1500"} << 254
                                  << QStringList{"Unknown device type: 1500"};
    QTest::newRow("tomorrow") << QStringList{secondsAt(today.addDays(1)), "1000"} << 255
                              << QStringList{"difference is too high"};
    QTest::newRow("two days ago") << QStringList{secondsAt(today.addDays(-2)), "1000"} << 255
                                  << QStringList{"difference is too high"};
    QTest::newRow("named form") << QStringList{"--time=" + secondsAt(today.addDays(-3)), "--code=3000"} << 255
                                << QStringList{"code 3000 (Kestrin Scanner)", "difference is too high"};
    QTest::newRow("positional form") << QStringList{secondsAt(today.addDays(-3)), "3000"} << 255
                                     << QStringList{"code 3000 (Kestrin Scanner)", "difference is too high"};
    QTest::newRow("1001 names 1000's edition") << QStringList{secondsAt(today.addDays(-3)), "1001"} << 255
                                               << QStringList{"code 1001 (Ulvex Analyzer)"};
}

void TestProgram::exitCodes()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QStringList, expectedLines);
    ProgramRunner runner;
    QVERIFY(runner.run(args));
    QCOMPARE(runner.exitStatus(), QProcess::NormalExit);
    QCOMPARE(runner.exitCode(), code);
    for (const QString& line : expectedLines)
        QVERIFY2(runner.output().contains(line), qPrintable(runner.output()));
    QVERIFY(runner.output().contains(QStringLiteral("Shutting down logger...")));
}

void TestProgram::acceptedLaunchReachesTheServerStep_data()
{
    QTest::addColumn<QDateTime>("launch");
    const QDateTime now = QDateTime::currentDateTime();
    QTest::newRow("now") << now;
    QTest::newRow("yesterday start") << QDateTime(now.date().addDays(-1), QTime(0, 0, 1));
}

void TestProgram::acceptedLaunchReachesTheServerStep()
{
    QFETCH(QDateTime, launch);
    ProgramRunner runner;
    runner.setEnv(QStringLiteral("ULVEX_DB_DIR"), QStringLiteral("/data/db"));
    runner.start({QString::number(launch.toSecsSinceEpoch()), QStringLiteral("2000")});
    QElapsedTimer timer;
    timer.start();
    while (!runner.output().contains(QStringLiteral("Working dir: ")) && timer.elapsed() < 20000)
        QThread::msleep(100);
    const QString out = runner.output();
    runner.process.terminate();
    runner.process.waitForFinished(5000);
    QVERIFY2(out.contains(QStringLiteral("Working dir: ") + testpaths::binDir()), qPrintable(out));
    QVERIFY(out.contains(QStringLiteral("Application's name: Morvane Scanner")));
    QVERIFY(out.contains(QStringLiteral("ULVEX_DB_DIR set to: /data/db")));
    QVERIFY(out.contains(QStringLiteral("ULVEX_RESOURCE_PATH is not set")));
    QVERIFY(!out.contains(QStringLiteral("difference is too high")));
}

// No frontend can reach a program without its port: it ends with its own
// code instead of staying up without a listener.
void TestProgram::takenPortEndsTheProgram()
{
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::LocalHost, 2700));
    ProgramRunner runner;
    QVERIFY(runner.run({secondsAt(QDate::currentDate()), QStringLiteral("1000")}));
    QCOMPARE(runner.exitStatus(), QProcess::NormalExit);
    QCOMPARE(runner.exitCode(), 253);
    const QString out = runner.output();
    QVERIFY2(out.contains(QStringLiteral("The bound address is already in use")), qPrintable(out));
    QVERIFY(!out.contains(QStringLiteral("Server is listening")));
    QVERIFY(out.contains(QStringLiteral("Shutting down logger...")));
}

void TestProgram::logFileNameAndFolder()
{
    ProgramRunner runner;
    QVERIFY(runner.run({"-v"}));
    const QString name = QStringLiteral("backend_%1.txt").arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    QFile file(runner.logDir() + QLatin1Char('/') + name);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray content = file.readAll();
    QVERIFY(content.contains("[backend] [info] Ulvexbackend version: 4.2.2"));
    QVERIFY(content.contains("Shutting down logger..."));
    QCOMPARE(QDir(runner.logDir()).entryList(QDir::Files).size(), 1);
}

void TestProgram::logLevelFromEnvironment_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<bool>("info");
    QTest::addColumn<bool>("debug");
    QTest::addColumn<bool>("trace");
    QTest::newRow("DEBUG") << "DEBUG" << true << true << false;
    QTest::newRow("warn") << "warn" << false << false << false;
    QTest::newRow("verbose silences") << "verbose" << false << false << false;
    QTest::newRow("empty silences") << "" << false << false << false;
    QTest::newRow("trace") << "trace" << true << true << true;
}

void TestProgram::logLevelFromEnvironment()
{
    QFETCH(QString, level);
    QFETCH(bool, info);
    QFETCH(bool, debug);
    QFETCH(bool, trace);
    ProgramRunner runner;
    runner.setEnv(QStringLiteral("ULVEX_BACKEND_LOG_LEVEL"), level);
    QVERIFY(runner.run({secondsAt(QDate::currentDate().addDays(-5)), "1000"}));
    QCOMPARE(runner.exitCode(), 255);
    QCOMPARE(runner.output().contains(QStringLiteral("[info] Shutting down logger...")), info);
    const bool silenced = level.isEmpty() || level == QLatin1String("verbose");
    QCOMPARE(runner.output().contains(QStringLiteral("[error] difference is too high")), !silenced);
    QCOMPARE(runner.output().contains(QStringLiteral("Start time ")), trace);
    QCOMPARE(runner.output().contains(QStringLiteral("[debug]")), debug);
    if (!info)
        QVERIFY2(!runner.output().contains(QStringLiteral("[info]")), qPrintable(runner.output()));
}

void TestProgram::unwritableLogFolderFallsBackToConsole()
{
    ProgramRunner runner;
    // A file where the data folder should be makes the log folder impossible.
    QFile blocker(runner.home() + QStringLiteral("/.local"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(runner.run({"-v"}));
    QCOMPARE(runner.exitCode(), 0);
    QVERIFY2(runner.output().contains(QStringLiteral("Ulvexbackend version: 4.2.2")), qPrintable(runner.output()));
}

void TestProgram::consolePipeOfTheParentKeepsItsFlags_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("consoleLine");
    QTest::newRow("-v") << QStringList{"-v"} << "Ulvexbackend version: 4.2.2";
    QTest::newRow("faulty command line") << QStringList{"abc"} << "One or more argument is missing";
}

void TestProgram::consolePipeOfTheParentKeepsItsFlags()
{
    QFETCH(QStringList, args);
    QFETCH(QString, consoleLine);
    ProgramRunner runner;
    // The program and the commands after it share one pipe, as in a frontend's
    // own console or a shell pipeline; what the program leaves on that pipe's
    // open file description shows in the flags that grep reads afterwards.
    QProcess shell;
    shell.setProcessEnvironment(runner.environment());
    const QStringList shellArgs{QStringLiteral("-c"),
                                QStringLiteral("{ \"$0\" \"$@\" 2>&1; grep '^flags' /proc/self/fdinfo/1; echo done; } | cat"),
                                ProgramRunner::programPath()};
    shell.start(QStringLiteral("bash"), shellArgs + args);
    QVERIFY(shell.waitForFinished(30000));
    const QString out = QString::fromUtf8(shell.readAllStandardOutput());
    QCOMPARE(shell.exitCode(), 0);
    QVERIFY2(out.contains(consoleLine), qPrintable(out));
    QVERIFY2(out.endsWith(QStringLiteral("done\n")), qPrintable(out));
    const QRegularExpressionMatch flags = QRegularExpression(QStringLiteral("flags:\\s+([0-7]+)")).match(out);
    QVERIFY2(flags.hasMatch(), qPrintable(out));
    QCOMPARE(flags.captured(1).toInt(nullptr, 8) & O_NONBLOCK, 0);
    // Whole lines only: every console line is a log line, and nothing (Qt's
    // own warnings included) writes around the log.
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.startsWith(QLatin1String("flags:")) && line != QLatin1String("done"))
            QVERIFY2(line.startsWith(QLatin1Char('[')) && line.contains(QLatin1String("[backend]")), qPrintable(line));
    }
}

void TestProgram::consoleReaderGoneLeavesTheProgramRunning()
{
    ProgramRunner runner;
    // `true` leaves at once, so the program starts on a pipe nobody reads:
    // every console line it writes meets a closed reader.
    QProcess shell;
    shell.setProcessEnvironment(runner.environment());
    shell.setProcessChannelMode(QProcess::MergedChannels);
    shell.start(QStringLiteral("bash"),
                {QStringLiteral("-c"), QStringLiteral("{ sleep 0.5; \"$0\" -v; echo \"status=$?\" >&2; } | true"),
                 ProgramRunner::programPath()});
    QVERIFY(shell.waitForFinished(30000));
    const QString out = QString::fromUtf8(shell.readAll());
    QVERIFY2(out.contains(QStringLiteral("status=0")), qPrintable(out));
    QVERIFY2(runner.logText().contains(QStringLiteral("Ulvexbackend version: 4.2.2")), qPrintable(runner.logText()));
}

void TestProgram::takesOverFromStaleInstance()
{
    QTemporaryDir dir;
    GuardHolder stale(staleCopy(dir, QStringLiteral("ULVEXBACKEND")));
    QVERIFY(stale.held());

    ProgramRunner runner;
    QVERIFY(runner.run({"-v"}));
    QCOMPARE(runner.exitCode(), 0);
    QVERIFY(runner.output().contains(QStringLiteral("an UlvexBackend process is already running")));
    QVERIFY(stale.process.waitForFinished(5000));
    QCOMPARE(stale.process.exitStatus(), QProcess::CrashExit);
    QCOMPARE(stale.process.error(), QProcess::Crashed);
}

void TestProgram::faultyCommandLineStillTakesOver()
{
    QTemporaryDir dir;
    GuardHolder stale(staleCopy(dir, QStringLiteral("Ulvexbackend")));
    QVERIFY(stale.held());

    ProgramRunner runner;
    QVERIFY(runner.run({"--code", "abc"}));
    QCOMPARE(runner.exitCode(), 255);
    QVERIFY(stale.process.waitForFinished(5000));
    QCOMPARE(stale.process.exitStatus(), QProcess::CrashExit);
}

void TestProgram::givesUpWhenHolderCannotBeKilled()
{
    // The holder runs under another name, so the program never kills it.
    GuardHolder other(testpaths::tool(QStringLiteral("runguard_helper")));
    QVERIFY(other.held());

    ProgramRunner runner;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(runner.run({"-v"}, 30000));
    QVERIFY(timer.elapsed() >= 10000);
    QCOMPARE(runner.exitCode(), 255);
    QVERIFY(runner.output().contains(QStringLiteral("Process is still running.")));
    QVERIFY(!runner.output().contains(QStringLiteral("Ulvexbackend version")));
    QCOMPARE(other.process.state(), QProcess::Running);
}

void TestProgram::terminationSignalsEndInOrder_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("session");
    QTest::newRow("SIGTERM, waiting for the frontend") << int(SIGTERM) << false;
    QTest::newRow("SIGINT, waiting for the frontend") << int(SIGINT) << false;
    QTest::newRow("SIGTERM during a session") << int(SIGTERM) << true;
    QTest::newRow("SIGINT during a session") << int(SIGINT) << true;
}

void TestProgram::terminationSignalsEndInOrder()
{
    QFETCH(int, signal);
    QFETCH(bool, session);
    SessionFixture s;
    if (session) {
        QVERIFY(s.launch());
        QVERIFY(s.expectGreeting());
    } else {
        s.program.start(ProgramRunner::launchArguments());
        QVERIFY(s.program.waitForLog(QStringLiteral("Working dir: "), 20000));
    }
    QVERIFY(::kill(pid_t(s.program.process.processId()), signal) == 0);
    QVERIFY(s.waitForExit(10000));
    QCOMPARE(s.program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(s.program.exitCode(), 0);
    const QString log = s.program.logText();
    const QString name = signal == SIGTERM ? QStringLiteral("SIGTERM") : QStringLiteral("SIGINT");
    QVERIFY2(log.contains(name + QStringLiteral(" received, ending the program")), qPrintable(log));
    QCOMPARE(log.contains(QStringLiteral("Closing...")), session);
    QVERIFY(log.contains(QStringLiteral("Process exiting with code 0")));
    QVERIFY(log.trimmed().endsWith(QStringLiteral("Shutting down logger...")));
}

void TestProgram::unreadConsoleNeverStallsTheSession_data()
{
    QTest::addColumn<bool>("terminal");
    QTest::newRow("socket") << false;
    QTest::newRow("terminal") << true;
}

// Standard output that nobody reads, at trace level: every request is still
// answered, and the log file tells how many console lines were dropped.
void TestProgram::unreadConsoleNeverStallsTheSession()
{
    QFETCH(bool, terminal);
    int ends[2] = {-1, -1};
    if (terminal) {
        ends[0] = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(ends[0] >= 0 && ::grantpt(ends[0]) == 0 && ::unlockpt(ends[0]) == 0);
        ends[1] = ::open(::ptsname(ends[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
    } else {
        QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    }
    QVERIFY(ends[1] >= 0);
    SessionFixture s;
    const int console = ends[1];
    s.program.process.setChildProcessModifier([console] { ::dup2(console, STDOUT_FILENO); });
    QVERIFY(s.launch());
    QVERIFY(s.expectGreeting());
    // About 2,000 requests filled such a console before.
    for (int i = 0; i < 4000; ++i) {
        QVERIFY(s.frontend.send(makePacket(opcodes::device_state, 0)));
        QVERIFY2(s.expect(opcodes::device_state, code(status_codes::device_not_initialized), 5000), qPrintable(QString::number(i)));
    }
    QVERIFY(s.frontend.send(makePacket(opcodes::exit, 0)));
    QVERIFY(s.expect(opcodes::exit, code(status_codes::software_closing)));
    QVERIFY(s.waitForExit());
    QCOMPARE(s.program.exitCode(), 0);
    ::close(ends[0]);
    ::close(ends[1]);
    QVERIFY(QRegularExpression(QStringLiteral("\\[warning\\] \\d+ console lines dropped")).match(s.program.logText()).hasMatch());
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
#include "testpaths.h"
