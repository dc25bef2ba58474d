// analyzer::Analyzer::Client against a real grpc++ server (analyzer_peer) on
// loopback with mutual TLS.
#include "analyzer_client.grpc.qpb.h"
#include "operationend.h"
#include "peerserver.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QtGrpc/qgrpchttp2channel.h>
#include <QTimer>

using namespace std::chrono_literals;

class TestRemoteClient : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void unary_data();
    void unary();
    void serverStream_data();
    void serverStream();
    void failures_data();
    void failures();
    void replyDroppedMidCall();

private:
    std::shared_ptr<QGrpcHttp2Channel> goodChannel() const;

    QTemporaryDir certs;
    QString setA; // the authority of the clients and the good server
    QString setB; // another authority
    PeerServer good;
    PeerServer rogue; // its certificate comes from the other authority
};

void TestRemoteClient::initTestCase()
{
    QVERIFY(certs.isValid());
    setA = certs.filePath("a");
    setB = certs.filePath("b");
    QVERIFY(PeerServer::makeCertificateSet(setA));
    QVERIFY(PeerServer::makeCertificateSet(setB));
    QVERIFY(good.start(setA));
    QVERIFY(rogue.start(setB));
}

std::shared_ptr<QGrpcHttp2Channel> TestRemoteClient::goodChannel() const
{
    return PeerServer::channel(good.port(), PeerServer::tlsConfiguration(setA, setA));
}

void TestRemoteClient::unary_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<int>("version");
    QTest::newRow("GetVersion") << "GetVersion" << 4;
    QTest::newRow("GetVersionHistory") << "GetVersionHistory" << 0;
    QTest::newRow("GetIntegrityList") << "GetIntegrityList" << 2147483647;
    QTest::newRow("SendTelemetry") << "SendTelemetry" << 0;
}

// Each unary method reaches the server with its request and metadata, and
// its reply and the server's metadata come back.
void TestRemoteClient::unary()
{
    QFETCH(QString, method);
    QFETCH(int, version);
    analyzer::Analyzer::Client client;
    QVERIFY(client.attachChannel(goodChannel()));
    QGrpcCallOptions options;
    options.setMetadata({{"x-ulvex-test", "row-" + method.toLatin1()}});
    std::unique_ptr<QGrpcCallReply> reply;
    analyzer::VersionRequest request;
    request.setVersion(version);
    if (method == "SendTelemetry") {
        analyzer::TelemetryRequest telemetry;
        telemetry.setIpAddress(QStringLiteral("198.51.100.4"));
        telemetry.setOsInfo(QStringLiteral("Größe")); // 7 bytes of UTF-8
        telemetry.setBackendVersion(QStringLiteral("1.0"));
        reply = client.SendTelemetry(telemetry, options);
    } else if (method == "GetVersion") {
        reply = client.GetVersion(request, options);
    } else if (method == "GetVersionHistory") {
        reply = client.GetVersionHistory(request, options);
    } else {
        reply = client.GetIntegrityList(request);
    }
    QVERIFY(reply);
    const QGrpcStatus status = finish(reply.get());
    QVERIFY2(status.code() == QtGrpc::StatusCode::Ok, qPrintable(status.message()));
    QCOMPARE(reply->metadata().value("x-ulvex-server"), QByteArray("peer"));
    if (method == "SendTelemetry") {
        const auto answer = reply->read<analyzer::TelemetryReply>();
        QVERIFY(answer);
        QCOMPARE(int(answer->status()), 12 + 7 + 3);
        return;
    }
    const auto answer = reply->read<analyzer::JsonReply>();
    QVERIFY(answer);
    const QJsonObject json = QJsonDocument::fromJson(answer->versionList().toUtf8()).object();
    QCOMPARE(json.value("method").toString(), method);
    QCOMPARE(json.value("version").toInteger(), version);
    // The one-argument overload sends default options: no metadata.
    QCOMPARE(json.value("metadata").toString(), method == "GetIntegrityList" ? QString() : "row-" + method);
}

void TestRemoteClient::serverStream_data()
{
    QTest::addColumn<QString>("filename");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("chunks");
    QTest::addColumn<QtGrpc::StatusCode>("code");
    QTest::newRow("several chunks") << "firmware.bin" << 40000 << 3 << QtGrpc::StatusCode::Ok;
    QTest::newRow("one chunk") << "a" << 10 << 1 << QtGrpc::StatusCode::Ok;
    QTest::newRow("empty file") << "empty" << 0 << 0 << QtGrpc::StatusCode::Ok;
    QTest::newRow("missing file") << "missing" << 100 << 0 << QtGrpc::StatusCode::NotFound;
    QTest::newRow("chunk of 4 MiB") << "one chunk" << 4 * 1024 * 1024 - 8 << 1 << QtGrpc::StatusCode::Ok;
    QTest::newRow("chunk over 4 MiB") << "one chunk" << 4 * 1024 * 1024 << 0 << QtGrpc::StatusCode::ResourceExhausted;
}

void TestRemoteClient::serverStream()
{
    QFETCH(QString, filename);
    QFETCH(int, size);
    QFETCH(int, chunks);
    QFETCH(QtGrpc::StatusCode, code);
#if ULVEX_QT_GRPC
    if (code == QtGrpc::StatusCode::ResourceExhausted)
        QSKIP("Qt 6.8's channel has no receive limit (ulvex-remote applies it)");
#endif
    analyzer::Analyzer::Client client;
    client.attachChannel(goodChannel());
    analyzer::DownloadRequest request;
    request.setFilename(filename);
    request.setVersion(size);
    std::unique_ptr<QGrpcServerStream> stream = client.DownloadFile(request);
    QByteArray file;
    int received = 0;
    connect(stream.get(), &QGrpcServerStream::messageReceived, this, [&] {
        const auto chunk = stream->read<analyzer::DownloadChunk>();
        QVERIFY(chunk);
        file += chunk->buffer();
        ++received;
    });
    const QGrpcStatus status = finish(stream.get());
    QCOMPARE(status.code(), code);
    QCOMPARE(received, chunks);
    QCOMPARE(file.size(), code == QtGrpc::StatusCode::Ok ? size : 0);
    for (qsizetype i = 0; i < file.size(); ++i) {
        if (quint8(file[i]) != quint8((i * 7 + filename.size()) & 0xff))
            QFAIL(qPrintable(QStringLiteral("byte %1 differs").arg(i)));
    }
}

void TestRemoteClient::failures_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QtGrpc::StatusCode>("code");
    QTest::addColumn<bool>("exact"); // otherwise any error will do: transports name TLS failures differently
    QTest::newRow("deadline the server outlives") << "deadline" << QtGrpc::StatusCode::DeadlineExceeded << true;
    QTest::newRow("server certificate from another authority") << "rogue server" << QtGrpc::StatusCode::Unavailable << false;
    QTest::newRow("client without its certificate") << "no client certificate" << QtGrpc::StatusCode::Unavailable << false;
    QTest::newRow("server down") << "server down" << QtGrpc::StatusCode::Unavailable << true;
    QTest::newRow("cancelled by the client") << "cancel" << QtGrpc::StatusCode::Cancelled << true;
}

void TestRemoteClient::failures()
{
    QFETCH(QString, failure);
    QFETCH(QtGrpc::StatusCode, code);
    QFETCH(bool, exact);
    std::shared_ptr<QGrpcHttp2Channel> channel = goodChannel();
    if (failure == "rogue server") {
        channel = PeerServer::channel(rogue.port(), PeerServer::tlsConfiguration(setA, setA));
    } else if (failure == "no client certificate") {
        channel = PeerServer::channel(good.port(), PeerServer::tlsConfiguration(setA, QString()));
    } else if (failure == "server down") {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        channel = PeerServer::channel(port, PeerServer::tlsConfiguration(setA, setA));
    }
    analyzer::Analyzer::Client client;
    client.attachChannel(channel);
    analyzer::VersionRequest request;
    request.setVersion(failure == "deadline" || failure == "cancel" ? -15000 : 1); // the server waits 15 s
    QGrpcCallOptions options;
    options.setDeadlineTimeout(failure == "deadline" ? 300ms : 10000ms);
    std::unique_ptr<QGrpcCallReply> reply = client.GetVersion(request, options);
    if (failure == "cancel")
        QTimer::singleShot(100, reply.get(), &QGrpcOperation::cancel);
    const QGrpcStatus status = finish(reply.get());
    QVERIFY2(exact ? status.code() == code : status.code() != QtGrpc::StatusCode::Ok, qPrintable(QStringLiteral("%1: %2").arg(int(status.code())).arg(status.message())));
    QVERIFY(reply->isFinished());
}

// An operation destroyed while its call runs cancels the call; nothing
// reaches it afterwards, and the client goes on working.
void TestRemoteClient::replyDroppedMidCall()
{
    analyzer::Analyzer::Client client;
    client.attachChannel(goodChannel());
    analyzer::VersionRequest slow;
    slow.setVersion(-15000);
    for (int i = 0; i < 5; ++i) {
        std::unique_ptr<QGrpcCallReply> dropped = client.GetVersion(slow);
        std::unique_ptr<QGrpcServerStream> stream = client.DownloadFile(analyzer::DownloadRequest());
        QTest::qWait(20 * i);
        dropped.reset();
        stream.reset();
    }
    analyzer::VersionRequest quick;
    quick.setVersion(9);
    std::unique_ptr<QGrpcCallReply> reply = client.GetVersion(quick);
    QCOMPARE(finish(reply.get()).code(), QtGrpc::StatusCode::Ok);
    QVERIFY(reply->read<analyzer::JsonReply>());
}

QTEST_GUILESS_MAIN(TestRemoteClient)
#include "tst_remoteclient.moc"
