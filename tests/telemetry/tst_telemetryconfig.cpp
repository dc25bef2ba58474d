#include "capturesink.h"
#include "telemetry/telemetryconfig.h"

#include <QtTest>

class TestTelemetryConfig : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void defaults();
    void reportServer_data();
    void reportServer();
    void addressServices_data();
    void addressServices();

private:
    std::shared_ptr<CaptureSink> sink;
};

void TestTelemetryConfig::initTestCase()
{
    sink = CaptureSink::install();
}

void TestTelemetryConfig::defaults()
{
    const TelemetryConfig config = TelemetryConfig::fromEnvironment(QProcessEnvironment());
    QCOMPARE(config.reportServer.scheme(), QStringLiteral("https"));
    QCOMPARE(config.reportUrl().path(), QStringLiteral("/reports/analyzer/"));
    QCOMPARE(config.probeUrl().path(), QStringLiteral("/"));
    const QList<QUrl> services = config.publicAddressServices;
    QCOMPARE(services.size(), 6);
    const QStringList schemes{"https", "https", "https", "https", "https", "http"};
    const QStringList paths{"/", "/", "/ip", "/", "/text", "/"};
    for (int i = 0; i < services.size(); ++i) {
        QCOMPARE(services.at(i).scheme(), schemes.at(i));
        QCOMPARE(services.at(i).path(), paths.at(i));
    }
    // The first and the last are the same service: its IPv4-only and its general host.
    QVERIFY(services.first().host().endsWith(services.last().host().section('.', 1)));
    QCOMPARE(config.probeTimeLimit, TelemetryConfig::kRequestTimeLimit);
    QCOMPARE(config.addressTimeLimit, TelemetryConfig::kRequestTimeLimit);
    QCOMPARE(config.postTimeLimit, TelemetryConfig::kRequestTimeLimit);
}

void TestTelemetryConfig::reportServer_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("probe");
    QTest::addColumn<QString>("report");
    QTest::newRow("https base") << "https://example.test:8443" << "https://example.test:8443/"
                                << "https://example.test:8443/reports/analyzer/";
    QTest::newRow("path ignored") << "https://example.test/x?y=1" << "https://example.test/"
                                  << "https://example.test/reports/analyzer/";
    QTest::newRow("http loopback") << "http://127.0.0.1:9000" << "http://127.0.0.1:9000/"
                                   << "http://127.0.0.1:9000/reports/analyzer/";
    QTest::newRow("http elsewhere refused") << "http://example.test" << "" << "";
    QTest::newRow("garbage refused") << "not a url" << "" << "";
}

void TestTelemetryConfig::reportServer()
{
    QFETCH(QString, value);
    QProcessEnvironment env;
    env.insert(QStringLiteral("ULVEX_REPORT_SERVER"), value);
    const TelemetryConfig config = TelemetryConfig::fromEnvironment(env);
    QTEST(config.reportServer.isValid() ? config.probeUrl().toString() : QString(), "probe");
    QTEST(config.reportServer.isValid() ? config.reportUrl().toString() : QString(), "report");
}

void TestTelemetryConfig::addressServices_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("services");
    QTest::newRow("two") << "http://127.0.0.1:1/ip, https://127.0.0.1:2/"
                         << QStringList{"http://127.0.0.1:1/ip", "https://127.0.0.1:2/"};
    QTest::newRow("bad entries dropped") << "ftp://x/,http://127.0.0.1:3/,,"
                                         << QStringList{"http://127.0.0.1:3/"};
    QTest::newRow("nothing usable means none") << "nonsense" << QStringList{};
}

void TestTelemetryConfig::addressServices()
{
    QFETCH(QString, value);
    QFETCH(QStringList, services);
    QProcessEnvironment env;
    env.insert(QStringLiteral("ULVEX_PUBLIC_IP_SERVICES"), value);
    QStringList actual;
    for (const QUrl& url : TelemetryConfig::fromEnvironment(env).publicAddressServices)
        actual.append(url.toString());
    QCOMPARE(actual, services);
}

QTEST_GUILESS_MAIN(TestTelemetryConfig)
#include "tst_telemetryconfig.moc"
