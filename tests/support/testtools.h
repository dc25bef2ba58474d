#pragma once

#include "frontendclient.h"
#include "protocol/packet.h"
#include "testpaths.h"

#include <QList>
#include <QProcess>
#include <functional>
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
    tool.start(testpaths::tool(QStringLiteral("ulvex-dbtool")), args);
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

// Reads a running measurement to its end_measure: the remaining values seen,
// where -1 and -2 stand for a correctness answer of 0 and 1; `onTick` sees
// them after each tick. Empty when anything else comes or nothing for `timeoutMs`.
inline QList<qint32> runMeasurementToEnd(FrontendClient& client, int timeoutMs,
                                         const std::function<void(const QList<qint32>&)>& onTick = {})
{
    QList<qint32> seen;
    while (auto packet = client.next(timeoutMs)) {
        if (packet->opcode == opcodes::state_measure) {
            seen << packet->payload;
            if (onTick)
                onTick(seen);
        } else if (packet->opcode == opcodes::correctness_measure) {
            seen << -packet->payload - 1;
        } else if (packet->opcode == opcodes::end_measure
                   && packet->payload == static_cast<qint32>(status_codes::measurement_finished)) {
            return seen;
        } else {
            qWarning("unexpected %s", qPrintable(FrontendClient::describe(*packet)));
            return {};
        }
    }
    return {};
}
