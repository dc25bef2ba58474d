// What only the real program shows of the frontend link: the device simulator
// on a pseudo-terminal, a real socket on 127.0.0.1:2700, the exit code, the
// console. Dispatch and the session's life run in-process in tst_sessionflow.
#include "sessionfixture.h"
#include "testtools.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTest>

class TestSession : public QObject {
    Q_OBJECT
private slots:
    void greetingFollowsDeviceReset();
    void noDeviceEndsTheSession();
    void exitClosesAndEndsWithZero();
    void unplugReportsOnceAndSessionGoesOn();
    void silentReportServerNeverDelaysGreeting();
    void undrainedConsolePipeNeverStallsTheSession();
};

void TestSession::greetingFollowsDeviceReset()
{
    SessionFixture s;
    QVERIFY(s.launch());
    QElapsedTimer timer;
    timer.start();
    QVERIFY(s.expectGreeting());
    // Opening (one second), stopping the sensor and reading the UID come first.
    QVERIFY2(timer.elapsed() >= 1000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(s.program.waitForLog(QStringLiteral("Worker is initialized, starting it now"), 5000));
    const QString log = s.program.logText();
    QVERIFY(log.indexOf(QStringLiteral("Device reset successful")) < log.indexOf(QStringLiteral("Worker is initialized")));
    QVERIFY(log.contains(QStringLiteral("Setting uid SIM")));
    // The probe runs beside the session; it ends on its own.
    QVERIFY(s.program.waitForLog(QStringLiteral("Server connection check done"), 15000));
}

void TestSession::noDeviceEndsTheSession()
{
    SessionFixture s;
    QVERIFY(s.launch({}, false));
    QVERIFY(s.expect(opcodes::error, code(status_codes::device_error)));
    QVERIFY(s.waitForExit());
    QCOMPARE(s.program.exitCode(), 0);
    QVERIFY(s.program.logText().contains(QStringLiteral("Device not found.")));
    QVERIFY(s.program.logText().contains(QStringLiteral("=== Thread Ended ===")));
}

void TestSession::exitClosesAndEndsWithZero()
{
    SessionFixture s;
    QVERIFY(s.launch());
    QVERIFY(s.expectGreeting());
    QVERIFY(s.frontend.send(makePacket(opcodes::exit, 0)));
    QVERIFY(s.expect(opcodes::exit, code(status_codes::software_closing)));
    s.frontend.send(makePacket(opcodes::device_state, 0)); // ignored: the session is closing
    QVERIFY(s.waitForExit());
    QCOMPARE(s.program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(s.program.exitCode(), 0);
    const QString log = s.program.logText();
    QVERIFY(log.contains(QStringLiteral("Closing...")));
    QVERIFY(log.contains(QStringLiteral("Process exiting with code 0")));
    QVERIFY(!log.contains(QStringLiteral("Frontend disconnected, exiting...")));
}

void TestSession::unplugReportsOnceAndSessionGoesOn()
{
    SessionFixture s;
    QVERIFY(s.launch({QStringLiteral("--unplug-after"), QStringLiteral("4000")}));
    QVERIFY(s.expectGreeting());
    QVERIFY(s.frontend.send(makePacket(opcodes::initialization, 0)));
    QVERIFY(s.expect(opcodes::initialization, code(status_codes::device_initialized)));

    QVERIFY(s.expect(opcodes::error, code(status_codes::device_error), 10000));
    QVERIFY(s.silentFor(1000)); // reported once, not once per failing read

    QVERIFY(s.frontend.send(makePacket(opcodes::device_state, 0)));
    QVERIFY(s.expect(opcodes::device_state, code(status_codes::device_not_connected)));
    QVERIFY(s.frontend.send(makePacket(opcodes::exit, 0)));
    QVERIFY(s.expect(opcodes::exit, code(status_codes::software_closing)));
    QVERIFY(s.waitForExit());
}

void TestSession::silentReportServerNeverDelaysGreeting()
{
    // The kernel completes the connection and takes the request; nobody answers.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    SessionFixture s;
    s.program.setEnv(QStringLiteral("ULVEX_REPORT_SERVER"),
                     QStringLiteral("http://127.0.0.1:%1").arg(silent.serverPort()));
    QVERIFY(s.launch());
    // Well inside the probe's own 10 s limit: the probe runs beside the session.
    QVERIFY(s.expectGreeting(5000));
    QVERIFY(s.program.waitForLog(QStringLiteral("Server connection check done"), 20000));
    const QString log = s.program.logText();
    QVERIFY(!log.contains(QStringLiteral("Telemetry collected successfully")));
    QVERIFY(s.frontend.send(makePacket(opcodes::device_state, 0)));
    QVERIFY(s.expect(opcodes::device_state, code(status_codes::device_not_initialized)));
}

void TestSession::undrainedConsolePipeNeverStallsTheSession()
{
    SessionFixture s;
    // Console on a pipe that nobody reads, as a careless parent might leave it.
    s.program.process.setStandardOutputFile(QString());
    QVERIFY(s.launch());
    QVERIFY(s.expectGreeting());
    // Trace logging of this many requests is far more than a pipe holds.
    for (int i = 0; i < 4000; ++i) {
        QVERIFY(s.frontend.send(makePacket(opcodes::device_state, 0)));
        QVERIFY2(s.expect(opcodes::device_state, code(status_codes::device_not_initialized), 5000),
                 qPrintable(QString::number(i)));
    }
    QVERIFY(s.program.waitForLog(QStringLiteral("Received raw data"), 5000));
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
