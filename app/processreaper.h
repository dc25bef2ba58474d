#pragma once

#include <QString>
#include <QList>

// Finds and kills other running instances of this program (through /proc and
// SIGKILL) so that a stale instance cannot keep the single-instance guard.
class ProcessReaper {
public:
    // Process ids other than our own whose executable name equals `name`,
    // compared without regard to letter case.
    static QList<qint64> findByName(const QString& name);
    // Sends SIGKILL to each; processes that cannot be signalled are skipped.
    // Returns how many were signalled.
    static int terminateOthers(const QString& name);
};
