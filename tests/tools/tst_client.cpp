// ulvex-client's messages and exit status when the backend goes quiet or
// away, and that it never leaves a backend it launched behind.
#include "protocol/packet.h"
#include "testpaths.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <csignal>

namespace {
quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

bool portFree(quint16 port)
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, port);
}

bool processGone(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}
} // namespace

class TestClient : public QObject {
    Q_OBJECT
private slots:
    void backendInThisTest_data();
    void backendInThisTest();
    void launchedBackend_data();
    void launchedBackend();

private:
    int runClient(const QStringList& args, QString& output, const QProcessEnvironment& env = {});
};

int TestClient::runClient(const QStringList& args, QString& output, const QProcessEnvironment& env)
{
    QProcess client;
    client.setProcessChannelMode(QProcess::MergedChannels);
    if (!env.isEmpty())
        client.setProcessEnvironment(env);
    client.start(testpaths::tool(QStringLiteral("ulvex-client")), args);
    // Waits in the event loop so this test's own server is served meanwhile.
    QElapsedTimer timer;
    timer.start();
    while (client.state() != QProcess::NotRunning && timer.elapsed() < 60000)
        QTest::qWait(20);
    if (client.state() != QProcess::NotRunning) {
        client.kill();
        client.waitForFinished();
        return -1;
    }
    output = QString::fromUtf8(client.readAll());
    return client.exitCode();
}

void TestClient::backendInThisTest_data()
{
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<QString>("message");
    QTest::newRow("closes before the greeting")
        << QStringLiteral("close-at-once")
        << QStringLiteral("error: the backend closed the connection (waiting for initialization)");
    QTest::newRow("closes on the request")
        << QStringLiteral("close-on-request")
        << QStringLiteral("error: the backend closed the connection (waiting for device_state)");
    QTest::newRow("never answers")
        << QStringLiteral("silent") << QStringLiteral("error: no reply within 400 ms (waiting for device_state)");
}

void TestClient::backendInThisTest()
{
    QFETCH(QString, behaviour);
    QFETCH(QString, message);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QList<QTcpSocket*> sockets;
    connect(&server, &QTcpServer::newConnection, this, [&] {
        QTcpSocket* socket = server.nextPendingConnection();
        sockets.append(socket);
        if (behaviour == QLatin1String("close-at-once")) {
            socket->close();
            return;
        }
        socket->write(makePacket(opcodes::initialization, static_cast<qint32>(status_codes::service_ready)));
        if (behaviour == QLatin1String("close-on-request"))
            connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->close(); });
    });
    QString output;
    const int status = runClient({QStringLiteral("--port"), QString::number(server.serverPort()),
                                  QStringLiteral("--timeout"), QStringLiteral("400"), QStringLiteral("state")},
                                 output);
    QCOMPARE(status, 2);
    QVERIFY2(output.contains(message), qPrintable(output));
    // The other message never shows up in place of this one.
    QCOMPARE(output.count(QStringLiteral("error: ")), 1);
}

void TestClient::launchedBackend_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("stopped");
    QTest::newRow("never answers") << QStringLiteral("silent")
                                   << QStringLiteral("error: no reply within 400 ms (waiting for device_state)") << true;
    QTest::newRow("closes the connection") << QStringLiteral("close")
                                           << QStringLiteral("error: the backend closed the connection") << true;
    QTest::newRow("exits before listening")
        << QStringLiteral("exit") << QStringLiteral("the backend exited with code 3 before accepting a connection")
        << false;
}

void TestClient::launchedBackend()
{
    QFETCH(QString, mode);
    QFETCH(QString, message);
    QFETCH(bool, stopped);
    const quint16 port = freePort();
    QVERIFY(port != 0);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FAKE_BACKEND_PORT"), QString::number(port));
    env.insert(QStringLiteral("FAKE_BACKEND_MODE"), mode);
    QString output;
    const int status = runClient({QStringLiteral("--launch"), testpaths::tool(QStringLiteral("fake_backend")), QStringLiteral("--port"),
                                  QString::number(port), QStringLiteral("--timeout"), QStringLiteral("400"),
                                  QStringLiteral("state")},
                                 output, env);
    QCOMPARE(status, 2);
    QVERIFY2(output.contains(message), qPrintable(output));
    const auto launched = QRegularExpression(QStringLiteral("launched .* \\(pid (\\d+)\\)")).match(output);
    QVERIFY2(launched.hasMatch(), qPrintable(output));
    const qint64 pid = launched.captured(1).toLongLong();
    QCOMPARE(output.contains(QStringLiteral("stopping the backend this client launched (pid %1)").arg(pid)), stopped);
    QVERIFY(processGone(pid));
    QVERIFY(portFree(port));
}

QTEST_GUILESS_MAIN(TestClient)
#include "tst_client.moc"
