#pragma once

#include "analyzer_client.grpc.qpb.h"

#include <QObject>
#include <QSaveFile>
#include <QTextStream>
#include <QTimer>
#include <memory>
#include <optional>

// Checks an installation's connection to the remote analyzer service: calls
// each method in turn, prints the replies and, when asked, downloads a file
// with a progress bar. Emits `done` with the number of failed calls.
//
// Nothing counts as success that is not: a reply or chunk that does not
// decode, or is larger than `maxReplySize`, fails its call; the download is
// written beside its destination and takes its name only when the stream
// ended well, so a failed, stalled or interrupted one leaves whatever was
// there before.
class RemoteProbe : public QObject {
    Q_OBJECT
public:
    // The largest single reply or chunk taken, the same on every platform.
    static constexpr qsizetype maxReplySize = 4 * 1024 * 1024;

    struct Settings {
        int version = 0;
        QString download; // file name on the server; empty: no download
        QString output;   // where the download goes
        std::chrono::milliseconds timeout{10000}; // each call, a whole download included
        std::chrono::milliseconds idle{10000};    // longest wait for the next chunk
    };

    RemoteProbe(std::shared_ptr<QAbstractGrpcChannel> channel, Settings settings, QObject* parent = nullptr);
    void start();
    // Ends the call in progress as failed and emits `done`.
    void interrupt(const QString& reason);

signals:
    void done(int failures);

private:
    void next();
    void finishUnary(int current, QGrpcStatus status);
    void report(const QString& method, const QGrpcStatus& status, const QString& reply);
    void startDownload();
    void takeChunk();
    void failDownload(QGrpcStatus status);
    void endDownload(QGrpcStatus status);
    void showProgress(bool last);

    analyzer::Analyzer::Client client;
    Settings settings;
    QGrpcCallOptions options;
    int step = 0;
    int failures = 0;
    bool interrupted = false;
    std::unique_ptr<QGrpcCallReply> reply;
    std::unique_ptr<QGrpcServerStream> stream;
    std::optional<QGrpcStatus> failure; // why we ended the call in progress ourselves
    std::unique_ptr<QSaveFile> file;
    QTimer idle;
    qint64 received = 0;
    int chunks = 0;
    QTextStream out;
    QTextStream err;
};
