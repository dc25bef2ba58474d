#pragma once

#include "ulvex_export.h"

#include <QJsonObject>
#include <QString>

// The nine texts of one telemetry report, in the order they are gathered.
struct ULVEX_EXPORT TelemetryData {
    QString ipAddress;
    QString osInfo;
    QString computerInfo;
    QString ftdiSerial;
    QString analyzerVersion;
    QString analyzerSerial;
    QString analyzerCode;
    QString frontendVersion;
    QString backendVersion;

    // Every member a JSON string; the two info records stay serialised text.
    QJsonObject toJson() const;
};
