#include "telemetry/wmicquery.h"

#include "config/backendlogger.h"
#include "config/qtformatters.h"

#include <QEventLoop>
#include <QProcess>
#include <QStringDecoder>
#include <QTimer>
#include <algorithm>

namespace {

// UTF-16LE text of the tool (mostly ASCII) has a zero in every second byte;
// 8-bit text has none. Half the pairs looked at decide.
bool looksLikeUtf16Le(const QByteArray& bytes)
{
    const qsizetype pairs = std::min<qsizetype>(bytes.size() / 2, 256);
    qsizetype highZero = 0;
    for (qsizetype i = 0; i < pairs; ++i) {
        if (bytes.at(2 * i + 1) == '\0' && bytes.at(2 * i) != '\0')
            ++highZero;
    }
    return pairs > 0 && highZero * 2 >= pairs;
}

// What is there, up to `room` bytes (a read of `room` would reserve all of it).
QByteArray readSome(QProcess& process, qint64 room)
{
    return process.read(std::clamp<qint64>(process.bytesAvailable(), 0, room));
}

} // namespace

QString WmicQuery::decode(const QByteArray& output)
{
    static const QByteArray utf16LeBom("\xFF\xFE", 2);
    static const QByteArray utf8Bom("\xEF\xBB\xBF", 3);
    if (output.startsWith(utf16LeBom) || looksLikeUtf16Le(output)) {
        const qsizetype from = output.startsWith(utf16LeBom) ? utf16LeBom.size() : 0;
        // A last odd byte is half a character: dropped rather than guessed.
        const qsizetype length = (output.size() - from) & ~qsizetype(1);
        QStringDecoder decoder(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless);
        return decoder(QByteArrayView(output).sliced(from, length));
    }
    const qsizetype from = output.startsWith(utf8Bom) ? utf8Bom.size() : 0;
    return QString::fromUtf8(QByteArrayView(output).sliced(from));
}

std::optional<QByteArray> WmicQuery::run(const QDeadlineTimer& deadline)
{
    auto logger = backendLogger();
    QProcess process;
    // Only standard output is read; what goes to standard error must not pile up.
    process.setStandardErrorFile(QProcess::nullDevice());
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QByteArray output;
    bool done = false;
    bool tooMuch = false;
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &loop, [&] {
        output += readSome(process, maxOutputBytes + 1 - output.size());
        if (output.size() > maxOutputBytes) {
            tooMuch = true;
            loop.quit();
        }
    });
    QObject::connect(&process, &QProcess::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            loop.quit();
    });
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    process.start(QStringLiteral("wmic"),
        {QStringLiteral("cpu"), QStringLiteral("get"), QStringLiteral("/ALL"), QStringLiteral("/FORMAT:list")},
        QIODevice::ReadWrite);
    // The tool waits for the end of its input before it exits.
    process.closeWriteChannel();
    if (process.state() != QProcess::NotRunning || process.error() != QProcess::FailedToStart) {
        timer.start(deadline.isForever()
                ? timeLimitMs
                : static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 0, timeLimitMs)));
        if (!done && !tooMuch)
            loop.exec();
    }
    if (done && !tooMuch) {
        output += readSome(process, maxOutputBytes + 1 - output.size());
        tooMuch = output.size() > maxOutputBytes;
    }
    if (!done || tooMuch) {
        if (tooMuch)
            logger->debug("wmic printed more than {} bytes", maxOutputBytes);
        else
            logger->debug("{}", process.errorString());
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(1000);
        }
        return std::nullopt;
    }
    return output;
}

std::optional<CpuInfo> WmicQuery::cpuInfo(const QDeadlineTimer& deadline)
{
    const std::optional<QByteArray> output = run(deadline);
    if (!output)
        return std::nullopt;
    const QString text = decode(*output);
    backendLogger()->debug("lines {}", text.split(QLatin1Char('\n')).size());
    return parseWmicCpuList(text);
}
