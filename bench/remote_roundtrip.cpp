// Round trip of a unary call (GetVersion) through analyzer::Analyzer::Client
// to a grpc++ server on loopback with mutual TLS: median, mean and 95th
// percentile over many calls on one warm channel.
#include "analyzer_client.grpc.qpb.h"
#include "peerserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QtGrpc/qgrpchttp2channel.h>
#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int calls = argc > 1 ? std::max(1, atoi(argv[1])) : 500;
    QTemporaryDir certs;
    PeerServer server;
    if (!certs.isValid() || !PeerServer::makeCertificateSet(certs.path()) || !server.start(certs.path())) {
        std::fprintf(stderr, "could not start the test server\n");
        return 1;
    }
    analyzer::Analyzer::Client client;
    client.attachChannel(PeerServer::channel(server.port(), PeerServer::tlsConfiguration(certs.path(), certs.path())));
    analyzer::VersionRequest request;
    request.setVersion(1);

    std::vector<double> micros;
    for (int i = -20; i < calls; ++i) { // the first 20 warm the connection up
        QElapsedTimer timer;
        timer.start();
        std::unique_ptr<QGrpcCallReply> reply = client.GetVersion(request);
        QEventLoop loop;
        bool ok = false;
        QObject::connect(reply.get(), &QGrpcOperation::finished, &loop, [&](const QGrpcStatus& status) {
            ok = status.code() == QtGrpc::StatusCode::Ok && reply->read<analyzer::JsonReply>().has_value();
            loop.quit();
        });
        loop.exec();
        if (!ok) {
            std::fprintf(stderr, "call %d failed\n", i);
            return 1;
        }
        if (i >= 0)
            micros.push_back(double(timer.nsecsElapsed()) / 1000.0);
    }
    std::sort(micros.begin(), micros.end());
    const double mean = std::accumulate(micros.begin(), micros.end(), 0.0) / double(micros.size());
    std::printf("unary round trip over loopback with mutual TLS, %d calls: median %.0f us, mean %.0f us, p95 %.0f us\n",
                calls, micros[micros.size() / 2], mean, micros[micros.size() * 95 / 100]);
    return 0;
}
