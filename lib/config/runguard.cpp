#include "config/runguard.h"

#include <QCryptographicHash>

QString RunGuard::generateKeyHash(const QString& key, const QString& salt)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(key.toUtf8());
    hash.addData(salt.toUtf8());
    return QString::fromLatin1(hash.result().toHex());
}

RunGuard::RunGuard(const QString& key)
    : key(key)
    , memLockKey(generateKeyHash(key, QStringLiteral("_memLockKey")))
    , sharedmemKey(generateKeyHash(key, QStringLiteral("_sharedmemKey")))
    , sharedMem(sharedmemKey)
    , memLock(memLockKey, 1, QSystemSemaphore::Open)
{
    // Attaching and detaching once lets the platform drop a segment that a
    // crashed holder left behind (the last detach removes it).
    memLock.acquire();
    {
        QSharedMemory fix(sharedmemKey);
        fix.attach();
    }
    memLock.release();
}

RunGuard::~RunGuard()
{
    release();
}

bool RunGuard::isAnotherRunning()
{
    if (sharedMem.isAttached())
        return false;

    memLock.acquire();
    const bool isRunning = sharedMem.attach();
    if (isRunning)
        sharedMem.detach();
    memLock.release();

    return isRunning;
}

bool RunGuard::tryToRun()
{
    if (isAnotherRunning())
        return false;

    memLock.acquire();
    const bool result = sharedMem.create(8);
    memLock.release();
    if (!result) {
        release();
        return false;
    }
    return true;
}

void RunGuard::release()
{
    memLock.acquire();
    if (sharedMem.isAttached())
        sharedMem.detach();
    memLock.release();
}
