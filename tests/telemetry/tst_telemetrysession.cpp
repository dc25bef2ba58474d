// The telemetry step through the real program: the greeting never waits for
// the report server or the address services.
#include "sessionfixture.h"
#include "testtools.h"
#include "testhttpserver.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#endif

namespace {

// Milliseconds between two log lines, from the log's own time stamps.
qint64 logGap(const QString& log, const QString& from, const QString& to)
{
    const QRegularExpression stamp(QStringLiteral("^\\[(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3})"));
    QDateTime start;
    QDateTime end;
    for (const QString& line : log.split(QLatin1Char('\n'))) {
        const auto match = stamp.match(line);
        if (!match.hasMatch())
            continue;
        const QDateTime at = QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
        if (!start.isValid() && line.contains(from))
            start = at;
        if (start.isValid() && !end.isValid() && line.contains(to))
            end = at;
    }
    return start.isValid() && end.isValid() ? start.msecsTo(end) : -1;
}

} // namespace

class TestTelemetrySession : public QObject {
    Q_OBJECT
private slots:
    void greetingBeforeSilentServersAnswer();
    void sessionEndAbandonsTelemetry();
    void frontendNamedFifoIsSkipped();
};

void TestTelemetrySession::greetingBeforeSilentServersAnswer()
{
    TestHttpServer reports;
    TestHttpServer addresses;
    QVERIFY(reports.listenPlain());
    QVERIFY(addresses.listenPlain());
    reports.setSilent(true);
    addresses.setSilent(true);
    addresses.route("/", 200, "192.0.2.77");
    SessionFixture s;
    s.program.setEnv(QStringLiteral("ULVEX_REPORT_SERVER"), reports.url().toString());
    s.program.setEnv(QStringLiteral("ULVEX_PUBLIC_IP_SERVICES"), addresses.url().toString());
    QVERIFY(s.launch());
    // Far below the probe's own 10 s limit: the greeting does not wait for it.
    QVERIFY(s.expectGreeting(5000));
    QTRY_COMPARE_WITH_TIMEOUT(reports.requests().size(), 1, 5000);
    QVERIFY(!s.program.logText().contains(QStringLiteral("Server connection check done")));

    // The session serves while the servers keep silent ...
    QVERIFY(s.frontend.send(makePacket(opcodes::device_state, 0)));
    QVERIFY(s.expect(opcodes::device_state, code(status_codes::device_not_initialized)));
    // ... and the report still goes out when they answer within the limit.
    reports.release();
    QTRY_COMPARE_WITH_TIMEOUT(addresses.requests().size(), 1, 5000);
    addresses.release();
    QTRY_COMPARE_WITH_TIMEOUT(reports.requests().size(), 2, 10000);
    QCOMPARE(reports.requests().at(1).path, QByteArray("/reports/analyzer/"));
    const QJsonObject body = QJsonDocument::fromJson(reports.requests().at(1).body).object();
    QCOMPARE(body.value("ip_address").toString(), QStringLiteral("192.0.2.77"));
    QVERIFY(s.program.waitForLog(QStringLiteral("Telemetry collected successfully"), 5000));

    QVERIFY(s.frontend.send(makePacket(opcodes::exit, 0)));
    QVERIFY(s.expect(opcodes::exit, code(status_codes::software_closing)));
    QVERIFY(s.waitForExit());
    QCOMPARE(s.program.exitCode(), 0);
    // For the record (the log is complete once the program has ended).
    const QString log = s.program.logText();
    qInfo("device reset %lld ms, greeting %lld ms after it",
          logGap(log, QStringLiteral("=== New Thread ==="), QStringLiteral("Device reset successful")),
          logGap(log, QStringLiteral("Device reset successful"), QStringLiteral("Worker is initialized")));
}

// A session that ends first waits a short, fixed time, then leaves the report.
void TestTelemetrySession::sessionEndAbandonsTelemetry()
{
    TestHttpServer reports;
    QVERIFY(reports.listenPlain());
    reports.setSilent(true);
    SessionFixture s;
    s.program.setEnv(QStringLiteral("ULVEX_REPORT_SERVER"), reports.url().toString());
    s.program.setEnv(QStringLiteral("ULVEX_PUBLIC_IP_SERVICES"), QStringLiteral("none"));
    QVERIFY(s.launch());
    QVERIFY(s.expectGreeting(5000));
    QVERIFY(s.frontend.send(makePacket(opcodes::exit, 0)));
    QVERIFY(s.expect(opcodes::exit, code(status_codes::software_closing)));
    QVERIFY(s.waitForExit(8000));
    QCOMPARE(s.program.exitCode(), 0);
    const QString log = s.program.logText();
    QVERIFY(log.contains(QStringLiteral("Telemetry unfinished after 3000 ms, abandoning it")));
    QVERIFY(log.contains(QStringLiteral("Server connection check done")));
    QVERIFY(!log.contains(QStringLiteral("Gathering information for telemetry report")));
}

// A FIFO where the frontend's executable should be is no frontend: the report
// goes out without it and the program ends normally.
void TestTelemetrySession::frontendNamedFifoIsSkipped()
{
#if !defined(Q_OS_UNIX)
    QSKIP("FIFOs are POSIX's");
#else
    TestHttpServer reports;
    QVERIFY(reports.listenPlain());
    SessionFixture s;
    const QString root = s.program.home() + QStringLiteral("/frontend/Foo");
    QVERIFY(QDir().mkpath(root));
    QFile uninstaller(root + QStringLiteral("/Foo uninstall.exe"));
    QVERIFY(uninstaller.open(QIODevice::WriteOnly));
    uninstaller.close();
    QCOMPARE(::mkfifo(QFile::encodeName(root + QStringLiteral("/Foo .exe")).constData(), 0600), 0);
    s.program.setEnv(QStringLiteral("ULVEX_REPORT_SERVER"), reports.url().toString());
    s.program.setEnv(QStringLiteral("ULVEX_PUBLIC_IP_SERVICES"), QStringLiteral("none"));
    QVERIFY(s.launch());
    QVERIFY(s.expectGreeting(5000));
    QTRY_COMPARE_WITH_TIMEOUT(reports.requests().size(), 2, 10000);
    const QJsonObject body = QJsonDocument::fromJson(reports.requests().at(1).body).object();
    QCOMPARE(body.value("analyzer_code").toString(), QStringLiteral("No fronted found"));
    QCOMPARE(body.value("frontend_version").toString(), QStringLiteral("0.0.0"));
    QVERIFY(s.frontend.send(makePacket(opcodes::exit, 0)));
    QVERIFY(s.expect(opcodes::exit, code(status_codes::software_closing)));
    QVERIFY(s.waitForExit(8000));
    QCOMPARE(s.program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(s.program.exitCode(), 0);
    // Found, and skipped as no executable.
    QVERIFY(s.program.logText().contains(QStringLiteral("Getting version string for file: ") + root + QStringLiteral("/Foo .exe")));
#endif
}

QTEST_GUILESS_MAIN(TestTelemetrySession)
#include "tst_telemetrysession.moc"
