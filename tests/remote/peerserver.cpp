#include "peerserver.h"
#include "testpaths.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QUrl>
#include <QtGrpc/qgrpcchanneloptions.h>
#include <QtGrpc/qgrpchttp2channel.h>
#include <optional>

namespace {
QString peerPath()
{
    return testpaths::tool(QStringLiteral("analyzer_peer"));
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

PeerServer::PeerServer() = default;

PeerServer::~PeerServer()
{
    if (process.state() != QProcess::NotRunning) {
        process.closeWriteChannel(); // the peer ends when its stdin closes
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
}

bool PeerServer::start(const QString& certDir)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(peerPath(), {QStringLiteral("serve"), certDir});
    if (!process.waitForStarted(10000))
        return false;
    QByteArray line;
    while (!line.endsWith('\n') && process.waitForReadyRead(10000))
        line += process.readLine();
    if (!line.startsWith("port ")) {
        qWarning("analyzer_peer did not start: %s", line.constData());
        return false;
    }
    listeningPort = line.mid(5).trimmed().toInt();
    return listeningPort > 0;
}

std::optional<PeerServer::Report> PeerServer::nextReport(const QByteArray& filename, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        while (process.canReadLine()) {
            // "progress NAME BYTES" or "sent NAME BYTES"
            const QByteArray line = process.readLine().trimmed();
            const qsizetype last = line.lastIndexOf(' ');
            const qsizetype first = line.indexOf(' ');
            if (first < 0 || last <= first || line.mid(first + 1, last - first - 1) != filename)
                continue;
            return Report{line.mid(last + 1).toLongLong(), line.startsWith("sent ")};
        }
        if (deadline.hasExpired() || !process.waitForReadyRead(int(deadline.remainingTime())))
            return std::nullopt;
    }
}

bool PeerServer::makeCertificateSet(const QString& dir)
{
    QProcess cmake;
    cmake.setProcessChannelMode(QProcess::ForwardedChannels);
    cmake.start(QStringLiteral(ULVEX_CMAKE_COMMAND),
                {QStringLiteral("-DOUT=") + dir, QStringLiteral("-P"), testpaths::sourceDir() + QStringLiteral("/lib/remote/makedevcert.cmake")});
    return cmake.waitForFinished(60000) && cmake.exitStatus() == QProcess::NormalExit && cmake.exitCode() == 0;
}

QSslConfiguration PeerServer::tlsConfiguration(const QString& trustDir, const QString& clientDir)
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates(QSslCertificate::fromData(readFile(trustDir + "/server.ca")));
    tls.setAllowedNextProtocols({QSslConfiguration::ALPNProtocolHTTP2}); // gRPC needs HTTP/2; Qt 6.8 asks only if told
    if (!clientDir.isEmpty()) {
        tls.setLocalCertificate(QSslCertificate(readFile(clientDir + "/client.pem")));
        tls.setPrivateKey(QSslKey(readFile(clientDir + "/client-key.pem"), QSsl::Rsa));
    }
    return tls;
}

std::shared_ptr<QGrpcHttp2Channel> PeerServer::channel(int port, const QSslConfiguration& tls)
{
    QGrpcChannelOptions options;
    options.setSslConfiguration(tls);
    return std::make_shared<QGrpcHttp2Channel>(QUrl(QStringLiteral("https://localhost:%1").arg(port)), options);
}

std::optional<QByteArray> PeerServer::run(const QStringList& arguments, const QByteArray& input)
{
    QProcess peer;
    peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    peer.start(peerPath(), arguments);
    if (!peer.waitForStarted(10000))
        return std::nullopt;
    peer.write(input);
    peer.closeWriteChannel();
    if (!peer.waitForFinished(30000) || peer.exitStatus() != QProcess::NormalExit || peer.exitCode() != 0)
        return std::nullopt;
    return peer.readAllStandardOutput();
}
