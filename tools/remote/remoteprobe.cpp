#include "remoteprobe.h"

#include <QLocale>
#include <QSysInfo>
#include <QtProtobuf/qprotobufserializer.h>

namespace {
const char* const unaryNames[] = {"SendTelemetry", "GetVersion", "GetVersionHistory", "GetIntegrityList"};

// Why a reply cannot be taken (`message` is null when it did not decode),
// or nothing. Qt's own channel has no size limit of its own before Qt 6.12,
// so the limit is checked here too, on the message as it came.
std::optional<QGrpcStatus> unusable(const QProtobufMessage* message, const QString& what)
{
    if (!message)
        return QGrpcStatus(QtGrpc::StatusCode::Internal, QStringLiteral("%1 does not decode").arg(what));
    QProtobufSerializer serializer;
    if (serializer.serialize(message).size() > RemoteProbe::maxReplySize)
        return QGrpcStatus(QtGrpc::StatusCode::ResourceExhausted,
                           QStringLiteral("%1 is larger than %2 bytes").arg(what).arg(RemoteProbe::maxReplySize));
    return std::nullopt;
}
} // namespace

RemoteProbe::RemoteProbe(std::shared_ptr<QAbstractGrpcChannel> channel, Settings probeSettings, QObject* parent)
    : QObject(parent)
    , settings(std::move(probeSettings))
    , out(stdout)
    , err(stderr)
{
    client.attachChannel(std::move(channel));
    options.setDeadlineTimeout(settings.timeout);
    idle.setSingleShot(true);
    connect(&idle, &QTimer::timeout, this, [this] {
        failDownload(QGrpcStatus(QtGrpc::StatusCode::DeadlineExceeded,
                                 QStringLiteral("no data for %1 ms").arg(settings.idle.count())));
    });
}

void RemoteProbe::start()
{
    step = 0;
    next();
}

void RemoteProbe::interrupt(const QString& reason)
{
    if (interrupted)
        return;
    interrupted = true;
    failure = QGrpcStatus(QtGrpc::StatusCode::Cancelled, reason);
    if (stream)
        stream->cancel(); // its end discards the download
    else if (reply)
        reply->cancel();
    else
        emit done(failures + 1);
}

void RemoteProbe::report(const QString& method, const QGrpcStatus& status, const QString& text)
{
    if (status.code() == QtGrpc::StatusCode::Ok) {
        out << method << ": " << text << Qt::endl;
    } else {
        ++failures;
        out << method << ": failed, status " << int(status.code()) << " (" << status.message() << ")" << Qt::endl;
    }
}

// One call at a time, in the order of the service definition.
void RemoteProbe::next()
{
    if (interrupted) {
        emit done(failures);
        return;
    }
    analyzer::VersionRequest version;
    version.setVersion(settings.version);
    const int current = step++;
    switch (current) {
    case 0: {
        analyzer::TelemetryRequest telemetry;
        telemetry.setOsInfo(QSysInfo::prettyProductName());
        telemetry.setComputerInfo(QSysInfo::machineHostName());
        telemetry.setBackendVersion(QStringLiteral("ulvex-remote"));
        reply = client.SendTelemetry(telemetry, options);
        break;
    }
    case 1: reply = client.GetVersion(version, options); break;
    case 2: reply = client.GetVersionHistory(version, options); break;
    case 3: reply = client.GetIntegrityList(version, options); break;
    default:
        startDownload();
        return;
    }
    failure.reset();
    connect(reply.get(), &QGrpcOperation::finished, this,
            [this, current](const QGrpcStatus& status) { finishUnary(current, status); });
}

void RemoteProbe::finishUnary(int current, QGrpcStatus status)
{
    QString text;
    if (failure) {
        status = *failure;
    } else if (status.isOk() && current == 0) {
        const auto answer = reply->read<analyzer::TelemetryReply>();
        if (const auto why = unusable(answer ? &*answer : nullptr, QStringLiteral("the reply")))
            status = *why;
        else
            text = QStringLiteral("status %1").arg(answer->status());
    } else if (status.isOk()) {
        const auto answer = reply->read<analyzer::JsonReply>();
        if (const auto why = unusable(answer ? &*answer : nullptr, QStringLiteral("the reply")))
            status = *why;
        else
            text = answer->versionList();
    }
    report(QLatin1StringView(unaryNames[current]), status, text);
    // The reply is still emitting: let it go once its signal returned.
    reply.release()->deleteLater();
    next();
}

void RemoteProbe::startDownload()
{
    if (settings.download.isEmpty()) {
        emit done(failures);
        return;
    }
    const QString path = settings.output.isEmpty() ? settings.download.section(u'/', -1) : settings.output;
    file = std::make_unique<QSaveFile>(path);
    if (path.isEmpty() || !file->open(QIODevice::WriteOnly)) {
        err << "DownloadFile: cannot write " << path << " (" << file->errorString() << ")" << Qt::endl;
        file.reset();
        emit done(failures + 1);
        return;
    }
    analyzer::DownloadRequest request;
    request.setVersion(settings.version);
    request.setFilename(settings.download);
    failure.reset();
    stream = client.DownloadFile(request, options); // the deadline bounds the whole download
    connect(stream.get(), &QGrpcServerStream::messageReceived, this, &RemoteProbe::takeChunk);
    connect(stream.get(), &QGrpcOperation::finished, this, &RemoteProbe::endDownload);
    idle.start(settings.idle);
}

void RemoteProbe::takeChunk()
{
    if (failure)
        return;
    idle.start(settings.idle);
    ++chunks;
    const auto chunk = stream->read<analyzer::DownloadChunk>();
    if (const auto why = unusable(chunk ? &*chunk : nullptr, QStringLiteral("chunk %1").arg(chunks)))
        return failDownload(*why);
    if (file->write(chunk->buffer()) != chunk->buffer().size())
        return failDownload(QGrpcStatus(QtGrpc::StatusCode::Aborted, QStringLiteral("cannot write %1 (%2)")
                                                                         .arg(file->fileName(), file->errorString())));
    received += chunk->buffer().size();
    showProgress(false);
}

// Ends the stream ourselves; its end reports `status`.
void RemoteProbe::failDownload(QGrpcStatus status)
{
    if (failure || !stream)
        return;
    failure = std::move(status);
    stream->cancel();
}

void RemoteProbe::endDownload(QGrpcStatus status)
{
    if (!file)
        return; // already ended
    idle.stop();
    if (failure)
        status = *failure;
    if (received > 0)
        showProgress(true);
    if (status.isOk() && !file->commit())
        status = QGrpcStatus(QtGrpc::StatusCode::Aborted,
                             QStringLiteral("cannot write %1 (%2)").arg(file->fileName(), file->errorString()));
    const QString name = file->fileName();
    file.reset(); // not committed: the temporary file goes, what was at `name` stays
    report(QStringLiteral("DownloadFile"), status, QStringLiteral("%1 bytes to %2").arg(received).arg(name));
    stream.release()->deleteLater();
    emit done(failures);
}

// The stream does not announce its length, so the bar runs along while data
// comes and shows the byte count.
void RemoteProbe::showProgress(bool last)
{
    constexpr int width = 30;
    static int tick = 0;
    QString bar(width, u' ');
    if (last) {
        bar.fill(u'#');
    } else {
        tick = (tick + 1) % width;
        for (int i = 0; i < 5; ++i)
            bar[(tick + i) % width] = u'#';
    }
    err << "\r[" << bar << "] " << QLocale::c().formattedDataSize(received) << (last ? "\n" : "") << Qt::flush;
}
