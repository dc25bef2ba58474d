#include "telemetry/replywaiter.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QTimer>
#include <algorithm>

namespace {

enum class Stop { None, TimedOut, TooLarge };

bool bodyTooLarge(QNetworkReply* reply, qint64 maxBody)
{
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    return reply->bytesAvailable() > maxBody || (announced.isValid() && announced.toLongLong() > maxBody);
}

} // namespace

std::chrono::milliseconds ReplyWaiter::capped(std::chrono::milliseconds limit, const QDeadlineTimer& deadline)
{
    if (deadline.isForever())
        return limit;
    return std::clamp(std::chrono::milliseconds(deadline.remainingTime()), std::chrono::milliseconds(0), limit);
}

std::expected<void, QString> ReplyWaiter::wait(QNetworkReply* reply, std::chrono::milliseconds limit, qint64 maxBody)
{
    Stop stop = Stop::None;
    // Qt buffers no more than this, so an endless body cannot fill the memory.
    reply->setReadBufferSize(maxBody + 1);
    if (!reply->isFinished() && !bodyTooLarge(reply, maxBody)) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        const auto check = [&] {
            if (stop == Stop::None && bodyTooLarge(reply, maxBody)) {
                stop = Stop::TooLarge;
                loop.quit();
            }
        };
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, check);
        QObject::connect(reply, &QNetworkReply::readyRead, &loop, check);
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            stop = Stop::TimedOut;
            loop.quit();
        });
        timer.start(limit);
        loop.exec();
    }
    if (stop == Stop::TooLarge || bodyTooLarge(reply, maxBody)) {
        reply->abort();
        return std::unexpected(QStringLiteral("Reply from %1 is larger than %2 bytes")
                                   .arg(reply->url().toString())
                                   .arg(maxBody));
    }
    if (!reply->isFinished()) {
        reply->abort();
        if (stop == Stop::TimedOut) {
            return std::unexpected(QStringLiteral("No answer from %1 within %2 ms")
                                       .arg(reply->url().toString())
                                       .arg(limit.count()));
        }
        // The loop ended without time-out or answer: the thread was told to quit.
        return std::unexpected(QStringLiteral("Stopped waiting for %1").arg(reply->url().toString()));
    }
    if (reply->error() != QNetworkReply::NoError)
        return std::unexpected(reply->errorString());
    return {};
}
