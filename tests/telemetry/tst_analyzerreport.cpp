#include "capturesink.h"
#include "config/settings.h"
#include "peimagebuilder.h"
#include "telemetry/analyzerreport.h"
#include "testcertificates.h"
#include "testhttpserver.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

namespace {
// The message argument of QVERIFY2 is evaluated even when the check passes.
QString errorOf(const std::expected<bool, QString>& result)
{
    return result ? QString() : result.error();
}
} // namespace

class TestAnalyzerReport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void postReachesServer();
    void sendReportCollectsAndPosts();
    void slices_data();
    void slices();
    void withoutFrontend();
    void frontendVersion_data();
    void frontendVersion();
    void httpErrorStatus_data();
    void httpErrorStatus();
    void untrustedCertificate();
    void silentServerHitsTimeLimit();

private:
    TelemetryConfig configFor(const TestHttpServer& server) const;
    static QJsonObject bodyOf(const TestHttpServer::Request& request);

    std::shared_ptr<CaptureSink> sink;
    TestCertificates certificates;
    QTemporaryDir emptyTree;
};

void TestAnalyzerReport::initTestCase()
{
    sink = CaptureSink::install();
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    QVERIFY2(certificates.generate(), qPrintable(certificates.error()));
    certificates.trustAuthorityProcessWide();
    QVERIFY(emptyTree.isValid());
}

void TestAnalyzerReport::init()
{
    sink->clear();
    Settings::instance().setAnalyzerSerial(QStringLiteral("0000000000000000"));
}

TelemetryConfig TestAnalyzerReport::configFor(const TestHttpServer& server) const
{
    TelemetryConfig config;
    config.reportServer = server.url();
    config.publicAddressServices = {TestHttpServer::closedPortUrl()};
    config.frontendSearchRoot = emptyTree.path();
    return config;
}

QJsonObject TestAnalyzerReport::bodyOf(const TestHttpServer::Request& request)
{
    return QJsonDocument::fromJson(request.body).object();
}

void TestAnalyzerReport::postReachesServer()
{
    TestHttpServer server;
    QVERIFY(server.listenTls(certificates.trustedServer()));
    const TelemetryData data{QStringLiteral("203.0.113.7"), QStringLiteral("{\"name\":\"debian\"}"),
        QStringLiteral("{\"Cores\":\"4\"}"), QStringLiteral("FT123456"), QStringLiteral("ABCDEFGHIJKL"),
        QStringLiteral("MNOP"), QStringLiteral("Foo"), QStringLiteral("1.4.0"), QStringLiteral("4.2.2")};

    AnalyzerReport report(QStringLiteral("unused"), configFor(server));
    const auto result = report.postTelemetry(data);
    QVERIFY2(result.has_value(), qPrintable(errorOf(result)));
    QVERIFY(*result);

    QCOMPARE(server.requests().size(), 1);
    const auto request = server.requests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.path, QByteArray("/reports/analyzer/"));
    QCOMPARE(request.header("Content-Type"), QList<QByteArray>{"application/json"});
    QCOMPARE(request.header("Content-Length"), QList<QByteArray>{QByteArray::number(request.body.size())});
    QVERIFY(request.body.contains("\n    \"")); // indented form

    const QJsonObject body = bodyOf(request);
    QCOMPARE(body.size(), 9);
    for (auto it = body.begin(); it != body.end(); ++it)
        QVERIFY2(it.value().isString(), qPrintable(it.key()));
    QCOMPARE(body, data.toJson());
    QCOMPARE(body.value("os_info").toString(), QStringLiteral("{\"name\":\"debian\"}"));
}

void TestAnalyzerReport::sendReportCollectsAndPosts()
{
    TestHttpServer server;
    QVERIFY(server.listenTls(certificates.trustedServer()));
    TestHttpServer addressService;
    QVERIFY(addressService.listenPlain());
    addressService.route("/", 200, "  203.0.113.7\n");
    QTemporaryDir tree;
    QVERIFY(QDir(tree.path()).mkpath("Apps/Ulvex"));
    QFile uninstaller(tree.filePath("Apps/Ulvex/Uninstall Foo.Setup.exe"));
    QVERIFY(uninstaller.open(QIODevice::WriteOnly));
    uninstaller.close();
    PeImageBuilder pe;
    pe.fileVersion = {1, 4, 0, 12};
    QVERIFY(pe.writeTo(tree.filePath("Apps/Ulvex/Foo.Setup.exe")));
    Settings::instance().setAnalyzerSerial(QStringLiteral("ABCDEFGHIJKLMNOPQRS"));

    TelemetryConfig config = configFor(server);
    config.publicAddressServices = {addressService.url()};
    config.frontendSearchRoot = tree.path();
    AnalyzerReport report(QStringLiteral("FT12345678XYZ"), config);
    const auto result = report.sendReport();
    QVERIFY2(result.has_value(), qPrintable(errorOf(result)));

    QCOMPARE(server.requests().size(), 1);
    const QJsonObject body = bodyOf(server.requests().first());
    QCOMPARE(body.value("ip_address").toString(), QStringLiteral("203.0.113.7"));
    QCOMPARE(body.value("ftdi_serial").toString(), QStringLiteral("FT123456"));
    QCOMPARE(body.value("analyzer_version").toString(), QStringLiteral("ABCDEFGHIJKL"));
    QCOMPARE(body.value("analyzer_serial").toString(), QStringLiteral("MNOP"));
    QCOMPARE(body.value("analyzer_code").toString(), QStringLiteral("Foo"));
    QCOMPARE(body.value("frontend_version").toString(), QStringLiteral("1.4.0"));
    QCOMPARE(body.value("backend_version").toString(), QStringLiteral("4.2.2"));

    const QJsonObject os = QJsonDocument::fromJson(body.value("os_info").toString().toUtf8()).object();
    QVERIFY(QRegularExpression("^\\d+\\.\\d\\d$").match(os.value("totalVirtualMemory").toString()).hasMatch());
    QVERIFY(os.value("storages").isArray());
    const QJsonObject cpu = QJsonDocument::fromJson(body.value("computer_info").toString().toUtf8()).object();
    QCOMPARE(cpu.size(), 13);
    QVERIFY(cpu.value("AddressWidth").isDouble());
    QVERIFY(cpu.value("Threads").isString());

    const QStringList order{"Gathering information for telemetry report", "IP Address: 203.0.113.7",
        "Analyzer Version: ABCDEFGHIJKL", "Analyzer Serial: MNOP", "Analyzer Code: Foo", "FTDI Serial: FT123456",
        "Frontend exe found", "Frontend Version: 1.4.0", "Backend Version: 4.2.2"};
    int last = -1;
    for (const QString& text : order) {
        const int at = sink->indexOf(text);
        QVERIFY2(at > last, qPrintable(text));
        last = at;
    }
    QVERIFY(sink->contains(spdlog::level::trace, "Gathering information for telemetry report"));
    QVERIFY(sink->contains(spdlog::level::debug, "IP Address: 203.0.113.7"));
}

void TestAnalyzerReport::slices_data()
{
    QTest::addColumn<QString>("uid");
    QTest::addColumn<QString>("portSerial");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("ftdi");
    QTest::newRow("before any UID") << "0000000000000000" << "0000000000" << "000000000000" << "0000"
                                    << "00000000";
    QTest::newRow("exact lengths") << "0123456789ABCDEF" << "FTA1B2C3" << "0123456789AB" << "CDEF" << "FTA1B2C3";
    QTest::newRow("short UID") << "ABC" << "FT1" << "ABC" << "" << "FT1";
    QTest::newRow("thirteen") << "0123456789ABC" << "" << "0123456789AB" << "C" << "";
    QTest::newRow("empty") << "" << "0000000000" << "" << "" << "00000000";
}

void TestAnalyzerReport::slices()
{
    QFETCH(QString, uid);
    QFETCH(QString, portSerial);
    Settings::instance().setAnalyzerSerial(uid);
    TestHttpServer unused;
    QVERIFY(unused.listenPlain());
    AnalyzerReport report(portSerial, configFor(unused));
    const TelemetryData data = report.collectTelemetry();
    QTEST(data.analyzerVersion, "version");
    QTEST(data.analyzerSerial, "serial");
    QTEST(data.ftdiSerial, "ftdi");
}

void TestAnalyzerReport::withoutFrontend()
{
    TestHttpServer unused;
    QVERIFY(unused.listenPlain());
    AnalyzerReport report(QStringLiteral("0000000000"), configFor(unused));
    const TelemetryData data = report.collectTelemetry();
    QCOMPARE(data.analyzerCode, QStringLiteral("No fronted found"));
    QCOMPARE(data.frontendVersion, QStringLiteral("0.0.0"));
    QCOMPARE(data.ipAddress, QString());
    QVERIFY(sink->contains(spdlog::level::warn, "Getting version string for file: Could not detect frontend"));
    QVERIFY(sink->contains(spdlog::level::debug, "IP Address: "));
}

void TestAnalyzerReport::frontendVersion_data()
{
    QTest::addColumn<QString>("exe");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("build");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("version");
    QTest::newRow("10.2.3.4") << "Uninstall Foo.exe" << 10 << 2 << 3 << 4 << "Foo" << "10.2.";
    QTest::newRow("1.4.0.12") << "uninstall Bar.exe" << 1 << 4 << 0 << 12 << "Bar" << "1.4.0";
    QTest::newRow("dotted name") << "UNINSTALL Foo.Setup.exe" << 2 << 0 << 0 << 0 << "Foo" << "2.0.0";
}

void TestAnalyzerReport::frontendVersion()
{
    QFETCH(QString, exe);
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, build);
    QFETCH(int, revision);
    QTemporaryDir tree;
    QFile uninstaller(tree.filePath(exe));
    QVERIFY(uninstaller.open(QIODevice::WriteOnly));
    uninstaller.close();
    PeImageBuilder pe;
    pe.fileVersion = {quint16(major), quint16(minor), quint16(build), quint16(revision)};
    QString frontend = exe;
    frontend.remove(QRegularExpression("uninstall\\s*", QRegularExpression::CaseInsensitiveOption));
    QVERIFY(pe.writeTo(tree.filePath(frontend)));

    TestHttpServer unused;
    QVERIFY(unused.listenPlain());
    TelemetryConfig config = configFor(unused);
    config.frontendSearchRoot = tree.path();
    AnalyzerReport report(QStringLiteral("0000000000"), config);
    const TelemetryData data = report.collectTelemetry();
    QTEST(data.analyzerCode, "code");
    QTEST(data.frontendVersion, "version");
}

void TestAnalyzerReport::httpErrorStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("redirect");
    QTest::newRow("404") << 404 << false;
    QTest::newRow("500") << 500 << false;
    QTest::newRow("503") << 503 << false;
    QTest::newRow("304") << 304 << false;
    // A redirected post arrives as a GET without the report: not delivered.
    QTest::newRow("302 to a page that answers") << 302 << true;
    QTest::newRow("303 to a page that answers") << 303 << true;
    QTest::newRow("307 to a page that answers") << 307 << true;
}

void TestAnalyzerReport::httpErrorStatus()
{
    QFETCH(int, status);
    QFETCH(bool, redirect);
    TestHttpServer server;
    QVERIFY(server.listenTls(certificates.trustedServer()));
    if (redirect)
        server.redirect("/reports/analyzer/", status, server.url(QStringLiteral("/elsewhere")).toEncoded());
    else
        server.route("/reports/analyzer/", status, "no");
    AnalyzerReport report(QStringLiteral("0000000000"), configFor(server));
    const auto result = report.postTelemetry(TelemetryData{});
    QVERIFY(!result.has_value());
    QVERIFY2(result.error().contains("server replied"), qPrintable(result.error()));
    QCOMPARE(server.requests().size(), 1);
}

void TestAnalyzerReport::untrustedCertificate()
{
    TestHttpServer server;
    QVERIFY(server.listenTls(certificates.untrustedServer()));
    AnalyzerReport report(QStringLiteral("0000000000"), configFor(server));
    const auto result = report.postTelemetry(TelemetryData{});
    QVERIFY(!result.has_value());
    QVERIFY2(result.error().startsWith("SSL handshake failed"), qPrintable(result.error()));
    QVERIFY(sink->contains(spdlog::level::trace, "ssl error"));
    QCOMPARE(server.requests().size(), 0);
}

void TestAnalyzerReport::silentServerHitsTimeLimit()
{
    TestHttpServer server;
    QVERIFY(server.listenTls(certificates.trustedServer()));
    server.setSilent(true);
    TelemetryConfig config = configFor(server);
    config.postTimeLimit = 300ms;
    AnalyzerReport report(QStringLiteral("0000000000"), config);
    const auto result = report.postTelemetry(TelemetryData{});
    QVERIFY(!result.has_value());
    QVERIFY2(result.error().contains("within 300 ms"), qPrintable(result.error()));
    QCOMPARE(server.requests().size(), 1);
}

QTEST_GUILESS_MAIN(TestAnalyzerReport)
#include "tst_analyzerreport.moc"
