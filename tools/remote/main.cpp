// ulvex-remote: checks the connection to the remote analyzer service.
//   ulvex-remote --server host:port [--certs DIR] [--version N]
//                [--download NAME [--output PATH]] [--timeout MS] [--idle MS]
//                [--plain]
// DIR holds client.pem, client-key.pem and server.ca; without it the
// certificates compiled into the library are used. Exit code 0 when every
// call succeeded, 1 when one failed, 2 for a bad command line, and 128 plus
// the signal's number after SIGINT or SIGTERM.
#include "remoteprobe.h"
#include "signalwatch.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QTimer>
#include <QUrl>
#include <QtGrpc/qgrpcchanneloptions.h>
#include <QtGrpc/qgrpchttp2channel.h>

namespace {
QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::optional<QSslConfiguration> tlsFrom(const QString& folder, QTextStream& err)
{
    const QString base = folder.isEmpty() ? QStringLiteral(":/cert") : folder;
    const QList<QSslCertificate> authorities = QSslCertificate::fromData(readFile(base + "/server.ca"));
    const QSslCertificate certificate(readFile(base + "/client.pem"));
    const QSslKey key(readFile(base + "/client-key.pem"), QSsl::Rsa);
    if (authorities.isEmpty() || certificate.isNull() || key.isNull()) {
        err << "No usable client.pem, client-key.pem and server.ca in " << base << Qt::endl;
        return std::nullopt;
    }
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates(authorities);
    tls.setAllowedNextProtocols({QSslConfiguration::ALPNProtocolHTTP2}); // gRPC needs HTTP/2; Qt 6.8 asks only if told
    tls.setLocalCertificate(certificate);
    tls.setPrivateKey(key);
    return tls;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Checks the connection to the remote analyzer service."));
    parser.addHelpOption();
    parser.addOptions({
        {"server", "Service address, host:port.", "host:port"},
        {"certs", "Folder with client.pem, client-key.pem and server.ca (default: the compiled-in set).", "dir"},
        {"version", "Version number sent with the requests.", "n", "0"},
        {"download", "File to download from the service.", "name"},
        {"output", "Where the download goes (default: its name in the current folder).", "path"},
        {"timeout", "Deadline of each call in milliseconds, a whole download included.", "ms", "10000"},
        {"idle", "Longest wait for the next part of a download in milliseconds.", "ms", "10000"},
        {"plain", "Plain HTTP/2 without TLS (test servers only)."},
    });
    parser.process(app);
    const QUrl url(QStringLiteral("%1://%2").arg(parser.isSet("plain") ? "http" : "https", parser.value("server")));
    if (!parser.isSet("server") || url.host().isEmpty() || url.port() <= 0) {
        err << "Give the service address as --server host:port" << Qt::endl;
        return 2;
    }
    bool numbers = true, ok = false;
    RemoteProbe::Settings settings;
    settings.version = parser.value("version").toInt(&ok);
    numbers = numbers && ok;
    settings.timeout = std::chrono::milliseconds(parser.value("timeout").toInt(&ok));
    numbers = numbers && ok && settings.timeout.count() > 0;
    settings.idle = std::chrono::milliseconds(parser.value("idle").toInt(&ok));
    numbers = numbers && ok && settings.idle.count() > 0;
    if (!numbers) {
        err << "--version, --timeout and --idle take whole numbers (the last two above zero)" << Qt::endl;
        return 2;
    }
    settings.download = parser.value("download");
    settings.output = parser.value("output");

    QGrpcChannelOptions options;
    if (!parser.isSet("plain")) {
        const auto tls = tlsFrom(parser.value("certs"), err);
        if (!tls)
            return 2;
        options.setSslConfiguration(*tls);
    }
    RemoteProbe probe(std::make_shared<QGrpcHttp2Channel>(url, options), settings);
    int stoppedBy = 0;
    SignalWatch watch;
    QObject::connect(&watch, &SignalWatch::received, &probe, [&](int signal) {
        stoppedBy = stoppedBy ? stoppedBy : signal;
        probe.interrupt(QStringLiteral("interrupted by signal %1").arg(signal));
    });
    QObject::connect(&probe, &RemoteProbe::done, &app, [&](int failures) {
        QCoreApplication::exit(stoppedBy ? 128 + stoppedBy : failures ? 1 : 0);
    });
    QTimer::singleShot(0, &probe, &RemoteProbe::start);
    return app.exec();
}
