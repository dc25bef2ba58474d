#include "remoteprobe.h"

#include <QLocale>
#include <QSysInfo>

RemoteProbe::RemoteProbe(std::shared_ptr<QAbstractGrpcChannel> channel, Settings probeSettings, QObject* parent)
    : QObject(parent)
    , settings(std::move(probeSettings))
    , out(stdout)
    , err(stderr)
{
    client.attachChannel(std::move(channel));
    options.setDeadlineTimeout(settings.timeout);
}

void RemoteProbe::start()
{
    step = 0;
    next();
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
    connect(reply.get(), &QGrpcOperation::finished, this, [this, current](const QGrpcStatus& status) {
        static const char* const names[] = {"SendTelemetry", "GetVersion", "GetVersionHistory", "GetIntegrityList"};
        QString text;
        if (current == 0) {
            if (const auto answer = reply->read<analyzer::TelemetryReply>())
                text = QStringLiteral("status %1").arg(answer->status());
        } else if (const auto answer = reply->read<analyzer::JsonReply>()) {
            text = answer->versionList();
        }
        report(QLatin1StringView(names[current]), status, text);
        // The reply is still emitting: let it go once its signal returned.
        reply.release()->deleteLater();
        next();
    });
}

void RemoteProbe::startDownload()
{
    if (settings.download.isEmpty()) {
        emit done(failures);
        return;
    }
    file.setFileName(settings.output.isEmpty() ? settings.download.section(u'/', -1) : settings.output);
    if (file.fileName().isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        err << "DownloadFile: cannot write " << file.fileName() << Qt::endl;
        emit done(failures + 1);
        return;
    }
    analyzer::DownloadRequest request;
    request.setVersion(settings.version);
    request.setFilename(settings.download);
    QGrpcCallOptions streamOptions; // a download may take longer than one call
    stream = client.DownloadFile(request, streamOptions);
    connect(stream.get(), &QGrpcServerStream::messageReceived, this, [this] {
        if (const auto chunk = stream->read<analyzer::DownloadChunk>()) {
            file.write(chunk->buffer());
            received += chunk->buffer().size();
            showProgress(false);
        }
    });
    connect(stream.get(), &QGrpcOperation::finished, this, [this](const QGrpcStatus& status) {
        showProgress(true);
        file.close();
        if (status.code() != QtGrpc::StatusCode::Ok)
            file.remove(); // never leave a partial file that looks complete
        report(QStringLiteral("DownloadFile"), status,
               QStringLiteral("%1 bytes to %2").arg(received).arg(file.fileName()));
        stream.release()->deleteLater();
        emit done(failures);
    });
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
