#pragma once

#include "ulvex_export.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QtGlobal>

// The operating system and its environment, as the telemetry report sends it.
struct ULVEX_EXPORT OsInfo {
    QString name;
    QString version;
    quint64 totalMemory = 0; // bytes
    QString locale;
    QString country;
    QString architecture;
    QString build;
    QString hostName;
    QString userName;
    QJsonArray storages;
};

ULVEX_EXPORT OsInfo osInfo();
ULVEX_EXPORT QJsonObject toJson(const OsInfo& info);
// Bytes as GiB in fixed notation with two decimals, e.g. "1.00".
ULVEX_EXPORT QString gibText(quint64 bytes);
