#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QSslConfiguration>
#include <QUrl>
#include <memory>

class QTcpServer;
class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1, plain or over TLS, that records each
// request and answers from a table of paths (or not at all when silent).
class TestHttpServer : public QObject {
    Q_OBJECT
public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        // Values of every header with this name, compared case-insensitively.
        QList<QByteArray> header(const QByteArray& name) const;
    };

    explicit TestHttpServer(QObject* parent = nullptr);
    ~TestHttpServer() override;

    bool listenPlain();
    bool listenTls(const QSslConfiguration& configuration);

    // Paths without a route get 200 and an empty body.
    void route(const QByteArray& path, int status, const QByteArray& body);
    // Answers `path` with `status` and a Location header naming `target`.
    void redirect(const QByteArray& path, int status, const QByteArray& target);
    void setSilent(bool silent) { this->silent = silent; }
    // Answers a path with a body that never ends (sent in chunks as fast as
    // the client takes them).
    void routeEndless(const QByteArray& path) { endless.insert(path); }
    // Answers every request that arrived while silent, and those to come.
    void release();

    QUrl url(const QString& path = QStringLiteral("/")) const;
    // A loopback URL on a port where nothing listens.
    static QUrl closedPortUrl();
    QList<Request> requests() const { return received; }
    int connections() const { return accepted; }
    int failedHandshakes() const { return handshakeFailures; }

private:
    void onConnection();
    void onData(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Request& request);

    std::unique_ptr<QTcpServer> server;
    bool tls = false;
    bool silent = false;
    int accepted = 0;
    int handshakeFailures = 0;
    QHash<QByteArray, QPair<int, QByteArray>> routes;
    QHash<QByteArray, QByteArray> locations;
    void sendChunk(QTcpSocket* socket);

    QHash<QTcpSocket*, QByteArray> buffers;
    QList<Request> received;
    QList<QPair<QTcpSocket*, Request>> held;
    QSet<QByteArray> endless;
};
