#pragma once

#include "ulvex_export.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QUrl>
#include <chrono>

// The computer's public IPv4 address as the configured services see it; a
// null address when none of them gave one.
ULVEX_EXPORT QHostAddress publicAddress();
// Tries the services in order, each for at most limitPerService; the first
// body holding an address wins.
ULVEX_EXPORT QHostAddress publicAddress(const QList<QUrl>& services, std::chrono::milliseconds limitPerService);
// As above, but no service is waited for past deadline, and a body above
// maxBody bytes fails that service.
ULVEX_EXPORT QHostAddress publicAddress(const QList<QUrl>& services, std::chrono::milliseconds limitPerService,
    const QDeadlineTimer& deadline, qint64 maxBody);
// First IPv4 address anywhere in the text (unanchored); null when none.
ULVEX_EXPORT QHostAddress findIPv4Address(const QString& text);
