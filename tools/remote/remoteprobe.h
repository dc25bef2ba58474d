#pragma once

#include "analyzer_client.grpc.qpb.h"

#include <QFile>
#include <QObject>
#include <QTextStream>
#include <memory>

// Checks an installation's connection to the remote analyzer service: calls
// each method in turn, prints the replies and, when asked, downloads a file
// with a progress bar. Emits `done` with the number of failed calls.
class RemoteProbe : public QObject {
    Q_OBJECT
public:
    struct Settings {
        int version = 0;
        QString download; // file name on the server; empty: no download
        QString output;   // where the download goes
        std::chrono::milliseconds timeout{10000};
    };

    RemoteProbe(std::shared_ptr<QAbstractGrpcChannel> channel, Settings settings, QObject* parent = nullptr);
    void start();

signals:
    void done(int failures);

private:
    void next();
    void report(const QString& method, const QGrpcStatus& status, const QString& reply);
    void startDownload();
    void showProgress(bool last);

    analyzer::Analyzer::Client client;
    Settings settings;
    QGrpcCallOptions options;
    int step = 0;
    int failures = 0;
    std::unique_ptr<QGrpcCallReply> reply;
    std::unique_ptr<QGrpcServerStream> stream;
    QFile file;
    qint64 received = 0;
    QTextStream out;
    QTextStream err;
};
