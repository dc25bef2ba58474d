#pragma once

#include "frontendclient.h"
#include "protocol/packet.h"

#include <QProcess>
#include <QString>
#include <QStringList>

// Small helpers shared by the end-to-end suites.

// A status code as it travels in a packet's payload.
inline qint32 code(status_codes status)
{
    return static_cast<qint32>(status);
}

// Runs ulvex-dbtool; its trimmed output, and whether it ended with 0.
inline QString dbtool(const QStringList& args, bool* ok)
{
    QProcess tool;
    tool.start(QStringLiteral(ULVEX_BIN_DIR "/ulvex-dbtool"), args);
    *ok = tool.waitForFinished(30000) && tool.exitCode() == 0;
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

// The next packet is exactly `opcode` with `payload`; says what came instead.
inline bool expectPacket(FrontendClient& client, opcodes opcode, qint32 payload, int timeoutMs)
{
    const auto packet = client.next(timeoutMs);
    if (!packet || packet->opcode != opcode || packet->payload != payload) {
        qWarning("expected %s, got %s", qPrintable(FrontendClient::describe({opcode, payload})),
                 packet ? qPrintable(FrontendClient::describe(*packet)) : "nothing");
        return false;
    }
    return true;
}
