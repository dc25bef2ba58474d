#pragma once

#include "ulvex_export.h"

#include <QByteArray>
#include <QDateTime>
#include <QMetaType>
#include <QtGlobal>

// Registered with the meta-type system under its own name, "uint".
using correlation_id_t = quint32;

// A packet value tagged with a correlation id. Every default-constructed
// packet draws the next id of one process-wide counter (the first is 1);
// copies and moves keep the id they were given.
struct ULVEX_EXPORT CorrelatedPacket {
    CorrelatedPacket();

    correlation_id_t correlationId;
    quint8 headerByte = 1;
    quint16 headerWord = 0;
    quint32 headerValue = 0;
    QByteArray payload;
    QDateTime timestamp;

    // Registers the type for queued connections and QVariant.
    static void registerMetaType();
};

Q_DECLARE_METATYPE(CorrelatedPacket)
