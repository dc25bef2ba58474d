#pragma once

#include <QList>
#include <QString>

// Finds and ends other running instances of this program so that a stale
// instance cannot keep the single-instance guard. One implementation per
// platform: the process table and SIGKILL on Linux, a process snapshot and
// TerminateProcess on Windows.
class ProcessReaper {
public:
    // Exit status an ended process reports where the platform lets us choose it.
    static constexpr unsigned exitStatus = 9;

    // Process ids other than our own whose executable file name equals `name`,
    // compared without regard to letter case.
    static QList<qint64> findByName(const QString& name);
    // Ends each; processes that cannot be opened or signalled are skipped.
    // Returns how many were ended (or signalled).
    static int terminateOthers(const QString& name);
};
