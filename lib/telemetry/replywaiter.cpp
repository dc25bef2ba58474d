#include "telemetry/replywaiter.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QTimer>

std::expected<void, QString> ReplyWaiter::wait(QNetworkReply* reply, std::chrono::milliseconds limit)
{
    bool timedOut = false;
    if (!reply->isFinished()) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            timedOut = true;
            loop.quit();
        });
        timer.start(limit);
        loop.exec();
    }
    if (timedOut && !reply->isFinished()) {
        reply->abort();
        return std::unexpected(QStringLiteral("No answer from %1 within %2 ms")
                                   .arg(reply->url().toString())
                                   .arg(limit.count()));
    }
    if (reply->error() != QNetworkReply::NoError)
        return std::unexpected(reply->errorString());
    return {};
}
