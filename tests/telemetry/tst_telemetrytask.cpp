// The telemetry step beside the session: its own thread, an overall limit and
// a bounded wait at the end of the session.
#include "capturesink.h"
#include "telemetry/telemetrylog.h"
#include "telemetry/telemetrytask.h"
#include "testcertificates.h"
#include "testhttpserver.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <spdlog/async.h>

using namespace std::chrono_literals;

class TestTelemetryTask : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void startReturnsAtOncePostLater();
    void overallLimitEndsTheStep_data();
    void overallLimitEndsTheStep();
    void finishAbandonsUnfinishedStep();
    void closedLogNeverReachesTheLogger_data();
    void closedLogNeverReachesTheLogger();

private:
    TelemetryConfig configFor(const QUrl& server, const QList<QUrl>& services = {}) const;

    std::shared_ptr<CaptureSink> sink;
    TestCertificates certificates;
    QTemporaryDir emptyTree;
};

void TestTelemetryTask::initTestCase()
{
    sink = CaptureSink::install();
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    QVERIFY2(certificates.generate(), qPrintable(certificates.error()));
    certificates.trustAuthorityProcessWide();
}

void TestTelemetryTask::init()
{
    sink->clear();
}

TelemetryConfig TestTelemetryTask::configFor(const QUrl& server, const QList<QUrl>& services) const
{
    TelemetryConfig config;
    config.reportServer = server;
    config.publicAddressServices = services;
    config.frontendSearchRoot = emptyTree.path();
    return config;
}

void TestTelemetryTask::startReturnsAtOncePostLater()
{
    TestHttpServer server;
    QVERIFY(server.listenTls(certificates.trustedServer()));
    server.setSilent(true);
    TestHttpServer addresses;
    QVERIFY(addresses.listenTls(certificates.trustedServer()));
    addresses.setSilent(true);
    addresses.route("/", 200, "192.0.2.44");

    TelemetryTask task;
    task.start({QStringLiteral("FT12345678"), QStringLiteral("ABCDEFGHIJKLMNOPQ")},
               configFor(server.url(), {addresses.url()}));
    // The caller is free while the report server holds the probe.
    QTRY_COMPARE_WITH_TIMEOUT(server.requests().size(), 1, 10000);
    QVERIFY(task.running());
    server.release();
    QTRY_COMPARE_WITH_TIMEOUT(addresses.requests().size(), 1, 10000);
    addresses.release();
    QTRY_COMPARE_WITH_TIMEOUT(server.requests().size(), 2, 10000);
    QVERIFY(task.finish(5000ms));

    const QJsonObject body = QJsonDocument::fromJson(server.requests().at(1).body).object();
    QCOMPARE(body.value("ip_address").toString(), QStringLiteral("192.0.2.44"));
    QCOMPARE(body.value("ftdi_serial").toString(), QStringLiteral("FT123456"));
    QCOMPARE(body.value("analyzer_version").toString(), QStringLiteral("ABCDEFGHIJKL"));
    QCOMPARE(body.value("analyzer_serial").toString(), QStringLiteral("MNOP"));
    QVERIFY(sink->contains(spdlog::level::info, "Telemetry collected successfully"));
    QCOMPARE(sink->entries().last().text, QStringLiteral("Server connection check done"));
}

void TestTelemetryTask::overallLimitEndsTheStep_data()
{
    QTest::addColumn<bool>("probeHeld");
    QTest::addColumn<bool>("posted");
    // Each request alone would wait 10 s; the whole step has 1.5 s.
    QTest::newRow("report server holds the probe") << true << false;
    QTest::newRow("address service holds its reply") << false << true;
}

void TestTelemetryTask::overallLimitEndsTheStep()
{
    QFETCH(bool, probeHeld);
    QFETCH(bool, posted);
    TestHttpServer server;
    QVERIFY(server.listenTls(certificates.trustedServer()));
    server.setSilent(probeHeld);
    TestHttpServer addresses;
    QVERIFY(addresses.listenTls(certificates.trustedServer()));
    addresses.setSilent(true);
    TelemetryConfig config = configFor(server.url(), {addresses.url()});
    config.overallTimeLimit = 1500ms;
    config.postTimeLimit = 500ms;

    TelemetryTask task;
    task.start({QStringLiteral("FT000001"), QString()}, config);
    QTRY_VERIFY_WITH_TIMEOUT(!task.running(), 6000);
    QVERIFY(task.finish(0ms));
    QCOMPARE(sink->entries().last().text, QStringLiteral("Server connection check done"));
    QCOMPARE(sink->contains(spdlog::level::info, "Telemetry collected successfully"), posted);
    QCOMPARE(server.requests().size(), posted ? 2 : 1);
    if (posted) {
        const QJsonObject body = QJsonDocument::fromJson(server.requests().at(1).body).object();
        QCOMPARE(body.value("ip_address").toString(), QString());
    }
}

void TestTelemetryTask::finishAbandonsUnfinishedStep()
{
    TestHttpServer server;
    QVERIFY(server.listenTls(certificates.trustedServer()));
    server.setSilent(true);
    TelemetryTask task;
    task.start({QStringLiteral("FT000001"), QString()}, configFor(server.url()));
    QTRY_COMPARE_WITH_TIMEOUT(server.requests().size(), 1, 10000);

    QVERIFY(!task.finish(200ms));
    QVERIFY(!task.running());
    QVERIFY(sink->contains(spdlog::level::warn, "Telemetry unfinished after 200 ms, abandoning it"));
    QCOMPARE(sink->entries().last().text, QStringLiteral("Server connection check done"));
    // Answering now changes nothing: the step is over and posts nothing.
    server.release();
    QTest::qWait(300);
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(sink->indexOf("Gathering information for telemetry report"), -1);
}

void TestTelemetryTask::closedLogNeverReachesTheLogger_data()
{
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("loggerShutDown");
    QTest::newRow("open") << false << false;
    QTest::newRow("closed") << true << false;
    QTest::newRow("closed, then the logger shut down") << true << true;
}

// What a telemetry thread left behind may still do once it wakes up.
void TestTelemetryTask::closedLogNeverReachesTheLogger()
{
    QFETCH(bool, closed);
    QFETCH(bool, loggerShutDown);
    auto received = std::make_shared<CaptureSink>();
    auto pool = std::make_shared<spdlog::details::thread_pool>(16, 1);
    auto target = std::make_shared<spdlog::async_logger>("process", received, pool);
    target->set_level(spdlog::level::trace);
    std::weak_ptr<spdlog::logger> held = target;
    TelemetryLog log(std::move(target));
    const auto logger = log.logger();
    if (closed)
        log.close();
    if (loggerShutDown)
        pool.reset();
    logger->info("late line");
    logger->flush();
    QCOMPARE(held.expired(), closed);
    QCOMPARE(log.closed(), closed);
    QTRY_COMPARE_WITH_TIMEOUT(received->entries().size(), closed ? 0 : 1, 2000);
    QTest::qWait(closed ? 100 : 0);
    QCOMPARE(received->entries().size(), closed ? 0 : 1);
}

QTEST_GUILESS_MAIN(TestTelemetryTask)
#include "tst_telemetrytask.moc"
