#pragma once

#include "ulvex_export.h"

#include <QDeadlineTimer>
#include <QJsonObject>
#include <QString>
#include <QtGlobal>

// The processor, as the telemetry report sends it. Texts empty and numbers 0
// until something fills them.
struct ULVEX_EXPORT CpuInfo {
    QString deviceId;
    QString socket;
    QString name;
    QString description;
    quint16 addressWidth = 0;
    quint16 dataWidth = 0;
    quint16 architecture = 0;
    quint32 maxClockSpeed = 0;
    quint32 externalClock = 0;
    quint32 l2CacheSize = 0;
    quint32 l3CacheSize = 0;
    quint32 numberOfCores = 0;
    quint32 threadCount = 0;
};

// Runs "wmic" on Windows; reads the kernel's processor tables on Linux.
ULVEX_EXPORT CpuInfo cpuInfo();
// The same, but "wmic" is given no time past deadline.
ULVEX_EXPORT CpuInfo cpuInfo(const QDeadlineTimer& deadline);
// Parses "wmic cpu get /ALL /FORMAT:list" output; a later key overwrites an earlier one.
ULVEX_EXPORT CpuInfo parseWmicCpuList(const QString& text);
ULVEX_EXPORT QJsonObject toJson(const CpuInfo& info);
