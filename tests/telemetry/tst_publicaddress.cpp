#include "capturesink.h"
#include "telemetry/publicaddress.h"
#include "testcertificates.h"
#include "testhttpserver.h"

#include <QFile>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTest>
#include <QUrl>
#include <memory>
#include <vector>

using namespace std::chrono_literals;

namespace {
// Resident memory of this process; 0 where /proc is not there.
qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}
} // namespace

class TestPublicAddress : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void pattern_data();
    void pattern();
    void firstAnswerWins();
    void fallsThrough_data();
    void fallsThrough();
    void everyServiceFailing();
    void silentServiceHitsTimeLimit();
    void untrustedServiceIsSkipped();
    void endlessBodyIsCutOff();

private:
    std::shared_ptr<CaptureSink> sink;
    TestCertificates certificates;
};

void TestPublicAddress::initTestCase()
{
    sink = CaptureSink::install();
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    QVERIFY2(certificates.generate(), qPrintable(certificates.error()));
    certificates.trustAuthorityProcessWide();
}

void TestPublicAddress::pattern_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("address");
    QTest::newRow("bare") << QByteArray("203.0.113.7") << "203.0.113.7";
    QTest::newRow("white space and line break") << QByteArray("  \n203.0.113.7\r\n") << "203.0.113.7";
    QTest::newRow("inside text") << QByteArray("Current IP Address: 198.51.100.23<br>") << "198.51.100.23";
    QTest::newRow("first of two") << QByteArray("10.0.0.1 then 10.0.0.2") << "10.0.0.1";
    QTest::newRow("unanchored start") << QByteArray("999.1.1.1") << "99.1.1.1";
    QTest::newRow("unanchored end") << QByteArray("1.2.3.456") << "1.2.3.45";
    QTest::newRow("no address") << QByteArray("1.2.3") << "";
}

void TestPublicAddress::pattern()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, address);
    TestHttpServer service;
    QVERIFY(service.listenPlain());
    service.route("/ip", 200, body);
    const QHostAddress found = publicAddress({service.url(QStringLiteral("/ip"))}, 10s);
    QCOMPARE(found.isNull() ? QString() : found.toString(), address);
    QCOMPARE(findIPv4Address(QString::fromUtf8(body)).isNull() ? QString() : findIPv4Address(QString::fromUtf8(body)).toString(),
        address);
}

void TestPublicAddress::firstAnswerWins()
{
    TestHttpServer first;
    TestHttpServer second;
    QVERIFY(first.listenTls(certificates.trustedServer()));
    QVERIFY(second.listenPlain());
    first.route("/", 200, "192.0.2.1\n");
    second.route("/", 200, "192.0.2.2\n");
    const QHostAddress found = publicAddress({first.url(), second.url()}, 10s);
    QCOMPARE(found, QHostAddress(QStringLiteral("192.0.2.1")));
    QCOMPARE(first.requests().size(), 1);
    QCOMPARE(second.connections(), 0);
}

void TestPublicAddress::fallsThrough_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("no match in body") << 200 << QByteArray("unknown");
    QTest::newRow("error status with an address") << 500 << QByteArray("10.9.8.7");
    QTest::newRow("empty body") << 200 << QByteArray();
}

void TestPublicAddress::fallsThrough()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    TestHttpServer failing;
    TestHttpServer answering;
    QVERIFY(failing.listenPlain());
    QVERIFY(answering.listenPlain());
    failing.route("/text", status, body);
    answering.route("/", 200, "192.0.2.55");
    const QHostAddress found = publicAddress({failing.url(QStringLiteral("/text")), answering.url()}, 10s);
    QCOMPARE(found, QHostAddress(QStringLiteral("192.0.2.55")));
    QCOMPARE(failing.requests().size(), 1);
    QCOMPARE(answering.requests().size(), 1);
}

void TestPublicAddress::everyServiceFailing()
{
    std::vector<std::unique_ptr<TestHttpServer>> services;
    QList<QUrl> urls{TestHttpServer::closedPortUrl()};
    for (const int status : {200, 404, 500}) {
        services.push_back(std::make_unique<TestHttpServer>());
        QVERIFY(services.back()->listenPlain());
        services.back()->route("/", status, "nothing here");
        urls.append(services.back()->url());
    }
    const QHostAddress found = publicAddress(urls, 10s);
    QVERIFY(found.isNull());
    QCOMPARE(found.toString(), QString());
    for (const auto& service : services)
        QCOMPARE(service->requests().size(), 1);
    QCOMPARE(publicAddress({}, 10s), QHostAddress());
}

void TestPublicAddress::silentServiceHitsTimeLimit()
{
    TestHttpServer silent;
    TestHttpServer answering;
    QVERIFY(silent.listenPlain());
    QVERIFY(answering.listenPlain());
    silent.setSilent(true);
    answering.route("/", 200, "192.0.2.9");
    const QHostAddress found = publicAddress({silent.url(), answering.url()}, 300ms);
    QCOMPARE(found, QHostAddress(QStringLiteral("192.0.2.9")));
    QCOMPARE(silent.requests().size(), 1);
}

void TestPublicAddress::untrustedServiceIsSkipped()
{
    TestHttpServer rogue;
    TestHttpServer answering;
    QVERIFY(rogue.listenTls(certificates.untrustedServer()));
    QVERIFY(answering.listenPlain());
    rogue.route("/", 200, "10.66.66.66");
    answering.route("/", 200, "192.0.2.10");
    QCOMPARE(publicAddress({rogue.url(), answering.url()}, 10s), QHostAddress(QStringLiteral("192.0.2.10")));
    QCOMPARE(rogue.requests().size(), 0);
}

// An endless body fails its service after a bounded read; the next one is asked.
void TestPublicAddress::endlessBodyIsCutOff()
{
    TestHttpServer endless;
    TestHttpServer answering;
    QVERIFY(endless.listenTls(certificates.trustedServer()));
    QVERIFY(answering.listenPlain());
    endless.routeEndless("/");
    answering.route("/", 200, "192.0.2.11");
    sink->clear();
    const qint64 before = residentKiB();
    QCOMPARE(publicAddress({endless.url(), answering.url()}, 10s), QHostAddress(QStringLiteral("192.0.2.11")));
    // Without the bound the body piles up in memory for the whole time limit (gigabytes).
    QVERIFY2(residentKiB() - before < 64 * 1024, qPrintable(QString::number(residentKiB() - before)));
    QVERIFY(sink->contains(spdlog::level::debug,
        QStringLiteral("Public address service %1 failed: Reply from %1 is larger than 65536 bytes")
            .arg(endless.url().toString())));
}

QTEST_GUILESS_MAIN(TestPublicAddress)
#include "tst_publicaddress.moc"
