#include "capturesink.h"
#include "telemetry/telemetryconfig.h"

#include <QDir>
#include <QProcessEnvironment>
#include <QTest>
#include <QUrl>

class TestTelemetryConfig : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void defaults();
    void reportServer_data();
    void reportServer();
    void addressServices_data();
    void addressServices();
    void switchedOff_data();
    void switchedOff();
    void frontendRoot_data();
    void frontendRoot();

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
    // A copy: the DLL exports no storage for the class's constant, and
    // QCOMPARE would take its address.
    const std::chrono::milliseconds limit = TelemetryConfig::kRequestTimeLimit;
    QCOMPARE(config.probeTimeLimit, limit);
    QCOMPARE(config.addressTimeLimit, limit);
    QCOMPARE(config.postTimeLimit, limit);
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

void TestTelemetryConfig::switchedOff_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("logged");
    QTest::newRow("report off") << "ULVEX_REPORT_SERVER" << "off" << "Telemetry is off (ULVEX_REPORT_SERVER=off)";
    QTest::newRow("report OFF") << "ULVEX_REPORT_SERVER" << "OFF" << "Telemetry is off (ULVEX_REPORT_SERVER=OFF)";
    QTest::newRow("services none") << "ULVEX_PUBLIC_IP_SERVICES" << "none"
                                   << "Public address look-up is off (ULVEX_PUBLIC_IP_SERVICES=none)";
}

// The documented off values say so, not that they are bad URLs.
void TestTelemetryConfig::switchedOff()
{
    QFETCH(QString, variable);
    QFETCH(QString, value);
    QFETCH(QString, logged);
    QProcessEnvironment env;
    env.insert(variable, value);
    sink->clear();
    const TelemetryConfig config = TelemetryConfig::fromEnvironment(env);
    if (variable == QLatin1String("ULVEX_REPORT_SERVER")) {
        QVERIFY(!config.reportServer.isValid());
        QVERIFY(sink->contains(spdlog::level::info, logged));
    } else {
        QVERIFY(config.publicAddressServices.isEmpty());
        QVERIFY(sink->contains(spdlog::level::debug, logged));
    }
    for (const auto& entry : sink->entries())
        QVERIFY2(!entry.text.startsWith(QLatin1String("Ignoring")), qPrintable(entry.text));
}

void TestTelemetryConfig::frontendRoot_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("root");
    QTest::newRow("unset: four levels up") << "" << QDir::cleanPath(QDir::currentPath() + "/../../../..");
#if defined(Q_OS_WIN)
    QTest::newRow("absolute") << "C:/tmp/x/../frontend" << "C:/tmp/frontend";
#else
    QTest::newRow("absolute") << "/tmp/x/../frontend" << "/tmp/frontend";
#endif
    QTest::newRow("relative to the working folder") << "here" << QDir::currentPath() + "/here";
}

void TestTelemetryConfig::frontendRoot()
{
    QFETCH(QString, value);
    QProcessEnvironment env;
    env.insert(QStringLiteral("ULVEX_FRONTEND_ROOT"), value);
    QTEST(TelemetryConfig::fromEnvironment(env).frontendSearchRoot, "root");
}

QTEST_GUILESS_MAIN(TestTelemetryConfig)
#include "tst_telemetryconfig.moc"
