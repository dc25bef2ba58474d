#include "launchdate.h"

#include <QDateTime>

bool launchDateAccepted(qint32 receivedSeconds, const QDate& today)
{
    const QDate received =
        QDateTime::fromSecsSinceEpoch(static_cast<qint64>(receivedSeconds)).toLocalTime().date();
    return received == today || received == today.addDays(-1);
}
