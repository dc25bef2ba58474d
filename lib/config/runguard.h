#pragma once

#include "ulvex_export.h"

#include <QSharedMemory>
#include <QString>
#include <QSystemSemaphore>

// Claims a name system-wide so that only one process holds it at a time.
// An 8-byte shared-memory segment marks the holder; a one-token semaphore
// serialises every look at that segment across processes.
class ULVEX_EXPORT RunGuard {
public:
    explicit RunGuard(const QString& key);
    ~RunGuard();

    RunGuard(const RunGuard&) = delete;
    RunGuard& operator=(const RunGuard&) = delete;
    RunGuard(RunGuard&&) = delete;
    RunGuard& operator=(RunGuard&&) = delete;

    bool isAnotherRunning();
    bool tryToRun();
    void release();

    // SHA-1 of name + salt as 40 lower-case hex digits; never the name itself.
    static QString generateKeyHash(const QString& key, const QString& salt);

private:
    const QString key;
    const QString memLockKey;
    const QString sharedmemKey;
    QSharedMemory sharedMem;
    QSystemSemaphore memLock;
};
