#include "testhttpserver.h"

#include <QHostAddress>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>

QList<QByteArray> TestHttpServer::Request::header(const QByteArray& name) const
{
    QList<QByteArray> values;
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            values.append(value);
    return values;
}

TestHttpServer::TestHttpServer(QObject* parent)
    : QObject(parent)
{
}

TestHttpServer::~TestHttpServer() = default;

bool TestHttpServer::listenPlain()
{
    server = std::make_unique<QTcpServer>();
    connect(server.get(), &QTcpServer::pendingConnectionAvailable, this, &TestHttpServer::onConnection);
    return server->listen(QHostAddress::LocalHost);
}

bool TestHttpServer::listenTls(const QSslConfiguration& configuration)
{
    auto sslServer = std::make_unique<QSslServer>();
    sslServer->setSslConfiguration(configuration);
    connect(sslServer.get(), &QSslServer::errorOccurred, this, [this] { ++handshakeFailures; });
    connect(sslServer.get(), &QTcpServer::pendingConnectionAvailable, this, &TestHttpServer::onConnection);
    tls = true;
    server = std::move(sslServer);
    return server->listen(QHostAddress::LocalHost);
}

void TestHttpServer::route(const QByteArray& path, int status, const QByteArray& body)
{
    routes.insert(path, {status, body});
}

void TestHttpServer::redirect(const QByteArray& path, int status, const QByteArray& target)
{
    routes.insert(path, {status, QByteArray()});
    locations.insert(path, target);
}

QUrl TestHttpServer::url(const QString& path) const
{
    QUrl url;
    url.setScheme(tls ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(server ? server->serverPort() : 0);
    url.setPath(path);
    return url;
}

QUrl TestHttpServer::closedPortUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort()));
}

void TestHttpServer::onConnection()
{
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        ++accepted;
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onData(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            buffers.remove(socket);
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0)
            onData(socket);
    }
}

void TestHttpServer::onData(QTcpSocket* socket)
{
    QByteArray& buffer = buffers[socket];
    buffer += socket->readAll();
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    Request request;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> start = lines.value(0).trimmed().split(' ');
    request.method = start.value(0);
    request.path = start.value(1);
    qsizetype length = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray key = lines.at(i).left(colon).trimmed();
        const QByteArray value = lines.at(i).mid(colon + 1).trimmed();
        request.headers.append({key, value});
        if (key.compare("Content-Length", Qt::CaseInsensitive) == 0)
            length = value.toLongLong();
    }
    if (buffer.size() < headerEnd + 4 + length)
        return;
    request.body = buffer.mid(headerEnd + 4, length);
    buffer.remove(0, headerEnd + 4 + length);
    received.append(request);
    if (silent)
        held.append({socket, request});
    else
        answer(socket, request);
}

void TestHttpServer::release()
{
    silent = false;
    const auto pending = held;
    held.clear();
    for (const auto& [socket, request] : pending) {
        // Connections the client gave up on are gone (deleted on disconnect).
        if (buffers.contains(socket))
            answer(socket, request);
    }
}

void TestHttpServer::sendChunk(QTcpSocket* socket)
{
    static const QByteArray chunk(16 * 1024, 'x');
    // A little at a time: the next chunk goes once this one has left (for TLS
    // also its encrypted form), so a client that stops reading stops us too.
    qint64 pending = socket->bytesToWrite();
    if (auto* tlsSocket = qobject_cast<QSslSocket*>(socket))
        pending += tlsSocket->encryptedBytesToWrite();
    if (socket->state() == QAbstractSocket::ConnectedState && pending < chunk.size())
        socket->write(chunk);
}

void TestHttpServer::answer(QTcpSocket* socket, const Request& request)
{
    if (endless.contains(request.path)) {
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n");
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { sendChunk(socket); });
        if (auto* tlsSocket = qobject_cast<QSslSocket*>(socket))
            connect(tlsSocket, &QSslSocket::encryptedBytesWritten, this, [this, socket] { sendChunk(socket); });
        sendChunk(socket);
        return;
    }
    const auto [status, body] = routes.value(request.path, {200, QByteArray()});
    QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + (status < 400 ? " OK" : " Failed")
        + "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size())
        + (locations.contains(request.path) ? "\r\nLocation: " + locations.value(request.path) : QByteArray())
        + "\r\nConnection: close\r\n\r\n" + body;
    socket->write(response);
    socket->disconnectFromHost();
}
