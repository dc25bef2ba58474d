#include "http2transport.h"

#include "QtGrpc/qgrpccalloptions.h"
#include "QtGrpc/qgrpcoperation.h"
#include "QtGrpc/qgrpcstream.h"
#include "grpccalllink.h"
#include "grpccallreactor.h"

#include <QSslCertificate>
#include <QSslKey>
#include <grpcpp/create_channel.h>
#include <grpcpp/security/credentials.h>

namespace {
std::string toPem(const QList<QSslCertificate>& certificates)
{
    std::string pem;
    for (const QSslCertificate& certificate : certificates)
        pem += certificate.toPem().toStdString();
    return pem;
}

// gRPC refuses keys outside lower-case letters, digits, '-', '_' and '.',
// the reserved "grpc-" prefix, and text values with control characters.
bool validMetadata(const QByteArray& key, const QByteArray& value)
{
    if (key.isEmpty() || key.startsWith("grpc-"))
        return false;
    for (char c : key) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.'))
            return false;
    }
    if (key.endsWith("-bin"))
        return true;
    for (char c : value) {
        if (c < 0x20 || c > 0x7e)
            return false;
    }
    return true;
}
} // namespace

Http2Transport::Http2Transport(const QUrl& uri, const QGrpcChannelOptions& channelOptions)
    : options(channelOptions)
{
    const bool tls = uri.scheme() == QLatin1String("https");
    if (!uri.isValid() || uri.host().isEmpty() || uri.port() <= 0
        || (!tls && uri.scheme() != QLatin1String("http"))) {
        setupError = QStringLiteral("Invalid host URI \"%1\": expected http://host:port or https://host:port")
                         .arg(uri.toString());
        return;
    }
    std::shared_ptr<grpc::ChannelCredentials> credentials;
    if (tls) {
        grpc::SslCredentialsOptions ssl;
        if (const auto configuration = options.sslConfiguration()) {
            ssl.pem_root_certs = toPem(configuration->caCertificates());
            if (!configuration->privateKey().isNull())
                ssl.pem_private_key = configuration->privateKey().toPem().toStdString();
            if (!configuration->localCertificate().isNull())
                ssl.pem_cert_chain = toPem(configuration->localCertificateChain().isEmpty()
                                               ? QList<QSslCertificate>{configuration->localCertificate()}
                                               : configuration->localCertificateChain());
        }
        credentials = grpc::SslCredentials(ssl);
    } else {
        credentials = grpc::InsecureChannelCredentials();
    }
    const QString host = uri.host().contains(u':') ? u'[' + uri.host() + u']' : uri.host();
    const std::string target = QStringLiteral("%1:%2").arg(host).arg(uri.port()).toStdString();
    grpc::ChannelArguments arguments;
    arguments.SetMaxReceiveMessageSize(maxReceiveMessageSize);
    channel = grpc::CreateCustomChannel(target, credentials, arguments);
    stub = std::make_unique<grpc::GenericStub>(channel);
}

void Http2Transport::start(QGrpcOperation* operation, const QByteArray& path, const QByteArray& request,
                           const QGrpcCallOptions& callOptions)
{
    auto fail = [operation](QtGrpc::StatusCode code, const QString& text) {
        operation->link->post([status = QGrpcStatus(code, text)](QGrpcOperation* op) { op->onFinished(status); });
    };
    if (!stub) {
        fail(QtGrpc::StatusCode::Unavailable, setupError);
        return;
    }
    QHash<QByteArray, QByteArray> metadata = options.metadata();
    for (auto it = callOptions.metadata().cbegin(); it != callOptions.metadata().cend(); ++it)
        metadata.insert(it.key(), it.value());
    for (auto it = metadata.cbegin(); it != metadata.cend(); ++it) {
        if (!validMetadata(it.key(), it.value())) {
            fail(QtGrpc::StatusCode::InvalidArgument,
                 QStringLiteral("Invalid metadata \"%1\"").arg(QString::fromLatin1(it.key())));
            return;
        }
    }
    const auto deadline = callOptions.deadlineTimeout() ? callOptions.deadlineTimeout() : options.deadlineTimeout();
    const bool unary = qobject_cast<QGrpcServerStream*>(operation) == nullptr;
    auto* reactor = new GrpcCallReactor(operation->link, unary); // deletes itself when the call is done
    reactor->start(*stub, path.toStdString(), request, deadline, metadata);
}
