#include "capturesink.h"
#include "fakedevice.h"
#include "telemetry/sessiontelemetry.h"
#include "testcertificates.h"
#include "testhttpserver.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>

using namespace std::chrono_literals;

class TestSessionTelemetry : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void probeSucceedsReportIsPosted();
    void probeFailureSkipsReport_data();
    void probeFailureSkipsReport();
    void failedPostIsLogged();
    void endlessPostReplyFails();
    void silentServerHitsProbeTimeLimit();
    void runsOnItsOwnThread();

private:
    TelemetryConfig configFor(const QUrl& server) const;
    void expectDoneLast();

    std::shared_ptr<CaptureSink> sink;
    TestCertificates certificates;
    QTemporaryDir emptyTree;
};

void TestSessionTelemetry::initTestCase()
{
    sink = CaptureSink::install();
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    QVERIFY2(certificates.generate(), qPrintable(certificates.error()));
    certificates.trustAuthorityProcessWide();
}

void TestSessionTelemetry::init()
{
    sink->clear();
}

TelemetryConfig TestSessionTelemetry::configFor(const QUrl& server) const
{
    TelemetryConfig config;
    config.reportServer = server;
    config.publicAddressServices = {};
    config.frontendSearchRoot = emptyTree.path();
    return config;
}

void TestSessionTelemetry::expectDoneLast()
{
    const auto entries = sink->entries();
    QVERIFY(!entries.isEmpty());
    QCOMPARE(entries.last().text, QStringLiteral("Server connection check done"));
    QCOMPARE(entries.last().level, spdlog::level::trace);
}

void TestSessionTelemetry::probeSucceedsReportIsPosted()
{
    TestHttpServer server;
    QVERIFY(server.listenTls(certificates.trustedServer()));
    FakeDevice device;
    SessionTelemetry::run(&device, configFor(server.url(QStringLiteral("/some/base"))));

    const auto requests = server.requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests.at(0).method, QByteArray("GET"));
    QCOMPARE(requests.at(0).path, QByteArray("/"));
    QCOMPARE(requests.at(1).method, QByteArray("POST"));
    QCOMPARE(requests.at(1).path, QByteArray("/reports/analyzer/"));
    const QJsonObject body = QJsonDocument::fromJson(requests.at(1).body).object();
    QCOMPARE(body.value("ftdi_serial").toString(), QStringLiteral("00000000"));
    QVERIFY(sink->contains(spdlog::level::info, "Telemetry collected successfully"));
    expectDoneLast();
}

void TestSessionTelemetry::probeFailureSkipsReport_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("root answers 404") << "404";
    QTest::newRow("root answers 500") << "500";
    QTest::newRow("untrusted certificate") << "untrusted";
    QTest::newRow("nothing listening") << "closed";
    QTest::newRow("no server configured") << "none";
    QTest::newRow("endless body") << "endless";
}

void TestSessionTelemetry::probeFailureSkipsReport()
{
    QFETCH(QString, kind);
    TestHttpServer server;
    QUrl url;
    if (kind == "untrusted") {
        QVERIFY(server.listenTls(certificates.untrustedServer()));
        url = server.url();
    } else if (kind == "closed") {
        url = TestHttpServer::closedPortUrl();
        url.setScheme(QStringLiteral("https"));
    } else if (kind == "endless") {
        QVERIFY(server.listenTls(certificates.trustedServer()));
        server.routeEndless("/");
        url = server.url();
    } else if (kind != "none") {
        QVERIFY(server.listenTls(certificates.trustedServer()));
        server.route("/", kind.toInt(), "down");
        url = server.url();
    }

    SessionTelemetry::run(QStringLiteral("FT000001"), configFor(url));

    for (const auto& request : server.requests())
        QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(sink->indexOf("Telemetry collected successfully"), -1);
    QCOMPARE(sink->indexOf("Gathering information for telemetry report"), -1);
    for (const auto& entry : sink->entries())
        QVERIFY2(!entry.text.startsWith("Failed to collect telemetry."), qPrintable(entry.text));
    expectDoneLast();
}

void TestSessionTelemetry::failedPostIsLogged()
{
    TestHttpServer server;
    QVERIFY(server.listenTls(certificates.trustedServer()));
    server.route("/reports/analyzer/", 500, "broken");
    SessionTelemetry::run(QStringLiteral("FT000001"), configFor(server.url()));

    QCOMPARE(server.requests().size(), 2);
    const QString expected = QStringLiteral("Failed to collect telemetry. Error transferring %1 - server replied: Failed")
                                 .arg(server.url(QStringLiteral("/reports/analyzer/")).toString());
    QVERIFY(sink->contains(spdlog::level::err, expected));
    QCOMPARE(sink->indexOf("Telemetry collected successfully"), -1);
    expectDoneLast();
}

void TestSessionTelemetry::endlessPostReplyFails()
{
    TestHttpServer server;
    QVERIFY(server.listenTls(certificates.trustedServer()));
    server.routeEndless("/reports/analyzer/");
    SessionTelemetry::run(QStringLiteral("FT000001"), configFor(server.url()));

    QCOMPARE(server.requests().size(), 2);
    const QString expected = QStringLiteral("Failed to collect telemetry. Reply from %1 is larger than 65536 bytes")
                                 .arg(server.url(QStringLiteral("/reports/analyzer/")).toString());
    QVERIFY(sink->contains(spdlog::level::err, expected));
    expectDoneLast();
}

void TestSessionTelemetry::silentServerHitsProbeTimeLimit()
{
    TestHttpServer server;
    QVERIFY(server.listenTls(certificates.trustedServer()));
    server.setSilent(true);
    TelemetryConfig config = configFor(server.url());
    config.probeTimeLimit = 300ms;
    SessionTelemetry::run(QStringLiteral("FT000001"), config);

    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(server.requests().first().method, QByteArray("GET"));
    QCOMPARE(sink->indexOf("Gathering information for telemetry report"), -1);
    expectDoneLast();
}

// The session calls this from its own thread, whose events flow while it waits.
void TestSessionTelemetry::runsOnItsOwnThread()
{
    TestHttpServer server;
    QVERIFY(server.listenTls(certificates.trustedServer()));
    const TelemetryConfig config = configFor(server.url());
    std::unique_ptr<QThread> session(QThread::create([config] {
        FakeDevice device;
        SessionTelemetry::run(&device, config);
    }));
    QSignalSpy finished(session.get(), &QThread::finished);
    session->start();
    QVERIFY(finished.wait(60000));
    QCOMPARE(server.requests().size(), 2);
    QVERIFY(sink->contains(spdlog::level::info, "Telemetry collected successfully"));
    expectDoneLast();
}

QTEST_GUILESS_MAIN(TestSessionTelemetry)
#include "tst_sessiontelemetry.moc"
