// ulvex-remote against a real grpc++ server (analyzer_peer) on loopback with
// mutual TLS: what it reports, its exit code, and what is left at the
// download's destination afterwards.
#include "peerserver.h"
#include "testpaths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

class TestRemoteTool : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void run_data();
    void run();

private:
    QTemporaryDir certs;
    PeerServer server;
};

void TestRemoteTool::initTestCase()
{
    QVERIFY(certs.isValid());
    QVERIFY(PeerServer::makeCertificateSet(certs.path()));
    QVERIFY(server.start(certs.path()));
}

void TestRemoteTool::run_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("signal");       // sent once the first chunk arrived; 0: none
    QTest::addColumn<qint64>("fileLimit"); // the largest file the tool may write; 0: no limit
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("expected"); // in its output
    const QStringList stall{"--download", "stall", "--version", "40000"};
    QTest::newRow("download replaces the file") << QStringList{"--download", "firmware.bin", "--version", "40000"} << 0
                                                << qint64(0) << 0 << "DownloadFile: 40000 bytes";
    QTest::newRow("chunk that does not decode") << QStringList{"--download", "bad chunk", "--version", "40000"} << 0
                                                << qint64(0) << 1 << "status 13 (chunk 2 does not decode)";
    QTest::newRow("reply that does not decode") << QStringList{"--version", "666"} << 0 << qint64(0) << 1
                                                << "GetIntegrityList: failed, status 13 (the reply does not decode)";
    QTest::newRow("stalled stream, idle limit") << stall + QStringList{"--idle", "500"} << 0 << qint64(0) << 1
                                                << "status 4 (no data for 500 ms)";
    QTest::newRow("stalled stream, whole call") << stall + QStringList{"--timeout", "1500"} << 0 << qint64(0) << 1
                                                << "DownloadFile: failed, status 4";
    QTest::newRow("file missing on the server") << QStringList{"--download", "missing", "--version", "100"} << 0
                                                << qint64(0) << 1 << "DownloadFile: failed, status 5";
    QTest::newRow("chunk over 4 MiB") << QStringList{"--download", "one chunk", "--version", "5000000"} << 0
                                      << qint64(0) << 1 << "DownloadFile: failed, status 8";
    QTest::newRow("disk full") << QStringList{"--download", "firmware.bin", "--version", "200000"} << 0
                               << qint64(65536) << 1 << "cannot write";
    QTest::newRow("SIGINT mid-download") << stall << int(SIGINT) << qint64(0) << 128 + SIGINT << "interrupted by signal 2";
    QTest::newRow("SIGTERM mid-download") << stall << int(SIGTERM) << qint64(0) << 128 + SIGTERM << "interrupted by signal 15";
}

// A download lands whole under its name or not at all: after any failure
// the file that was there before is untouched and nothing else is left.
void TestRemoteTool::run()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, signal);
    QFETCH(qint64, fileLimit);
    QFETCH(int, exitCode);
    QFETCH(QString, expected);
    QTemporaryDir work;
    const QString output = work.filePath("out.bin");
    const QByteArray earlier("earlier contents\n");
    QFile previous(output);
    QVERIFY(previous.open(QIODevice::WriteOnly) && previous.write(earlier) == earlier.size());
    previous.close();

    QProcess tool;
    tool.setChildProcessModifier([fileLimit] {
        if (fileLimit > 0) { // writing past it fails with EFBIG, as on a full disk
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{rlim_t(fileLimit), rlim_t(fileLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
    });
    // ULVEX_TEST_REMOTE_TOOL: another build of the tool, e.g. the Windows one
    // under Wine (tests/windows/wine-remote.sh).
    const QString other = qEnvironmentVariable("ULVEX_TEST_REMOTE_TOOL");
    tool.start(other.isEmpty() ? testpaths::tool(QStringLiteral("ulvex-remote")) : other,
               QStringList{"--server", QStringLiteral("localhost:%1").arg(server.port()), "--certs", certs.path(),
                           "--output", output} + arguments);
    QVERIFY(tool.waitForStarted(10000));
    if (signal) {
        tool.setReadChannel(QProcess::StandardError); // the progress bar: a chunk arrived
        QVERIFY(tool.waitForReadyRead(15000));
        ::kill(pid_t(tool.processId()), signal);
    }
    QVERIFY2(tool.waitForFinished(20000), "the tool did not end");
    const QString printed = QString::fromUtf8(tool.readAllStandardOutput());
    QVERIFY2(printed.contains(expected), qPrintable(printed));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), exitCode);

    QCOMPARE(QDir(work.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.bin"});
    QFile result(output);
    QVERIFY(result.open(QIODevice::ReadOnly));
    const QByteArray bytes = result.readAll();
    if (exitCode != 0) {
        QCOMPARE(bytes, earlier);
        return;
    }
    const QString filename = arguments.value(arguments.indexOf("--download") + 1);
    QCOMPARE(bytes.size(), arguments.value(arguments.indexOf("--version") + 1).toInt());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (quint8(bytes[i]) != quint8((i * 7 + filename.size()) & 0xff))
            QFAIL(qPrintable(QStringLiteral("byte %1 differs").arg(i)));
    }
}

QTEST_GUILESS_MAIN(TestRemoteTool)
#include "tst_remotetool.moc"
