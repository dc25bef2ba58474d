#pragma once

#include <QProcess>
#include <QSslConfiguration>
#include <QString>
#include <memory>
#include <optional>

class QGrpcHttp2Channel;

// Test support for the remote service: certificate sets, the protoc/grpc++
// peer (analyzer_peer) as a server on loopback, and channels to it.
class PeerServer {
public:
    PeerServer();
    ~PeerServer();

    // Starts "analyzer_peer serve certDir"; false (with a warning) when it
    // does not report its port.
    bool start(const QString& certDir);
    int port() const { return listeningPort; }

    // The next report the server prints about downloading `filename` within
    // `timeoutMs` (without running this thread's event loop): the bytes
    // it has sent, and whether the download ended.
    struct Report {
        qint64 bytes = 0;
        bool ended = false;
    };
    std::optional<Report> nextReport(const QByteArray& filename, int timeoutMs);

    // A new throw-away set in `dir` (an authority, a client and a localhost
    // server certificate), made the way the build makes its development set.
    static bool makeCertificateSet(const QString& dir);
    // Trusts `trustDir`'s server.ca; presents `clientDir`'s certificate and
    // key unless `clientDir` is empty.
    static QSslConfiguration tlsConfiguration(const QString& trustDir, const QString& clientDir);
    static std::shared_ptr<QGrpcHttp2Channel> channel(int port, const QSslConfiguration& tls);
    // Runs analyzer_peer with `arguments`, `input` on its stdin; its stdout,
    // or nothing when it fails.
    static std::optional<QByteArray> run(const QStringList& arguments, const QByteArray& input);

private:
    QProcess process;
    int listeningPort = 0;
};
