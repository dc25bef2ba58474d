#pragma once

#include "protocol/packet.h"
#include "ulvex_export.h"

#include <QObject>

// Builders of the progress packets (a number rather than a status as payload).
class ULVEX_EXPORT PacketFactory : public QObject {
    Q_OBJECT
public:
    PacketFactory() = delete;

    static QByteArray progressPacket(int progress);
    static QByteArray progressPacket(opcodes opcode, int progress);
};
