#pragma once

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
