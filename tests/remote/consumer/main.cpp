// Uses the installed headers as a user of the library would; the message
// types are there without registering them, and a call runs (to a port
// where nothing listens, so it ends with an error).
#include "analyzer_client.grpc.qpb.h"
#include <QCoreApplication>
#include <QGrpcHttp2Channel>
#include <QProtobufMessage>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    analyzer::Analyzer::Client client;
    client.attachChannel(std::make_shared<QGrpcHttp2Channel>(QUrl("http://127.0.0.1:1")));
    analyzer::VersionRequest request;
    request.setVersion(4);
    auto reply = client.GetVersion(request);
    const bool registered = QProtobufMessage::constructByName("analyzer.DownloadChunk") != nullptr;
    QObject::connect(reply.get(), &QGrpcOperation::finished, &app, [&](const QGrpcStatus& status) {
        std::printf("registered %d, status %d\n", int(registered), int(status.code()));
        app.exit(registered && status.code() != QtGrpc::StatusCode::Ok ? 0 : 1);
    });
    QTimer::singleShot(20000, &app, [&] { app.exit(2); });
    return app.exec();
}
