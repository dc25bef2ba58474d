#include "backendlauncher.h"

#include <csignal>
#if defined(Q_OS_LINUX)
#include <sys/prctl.h>
#endif

BackendLauncher::~BackendLauncher()
{
    if (started)
        stop();
}

bool BackendLauncher::start(const QString& program, int code, qint64 time)
{
    // The backend's console goes where the client's goes, as with a detached start.
    process.setProcessChannelMode(QProcess::ForwardedChannels);
#if defined(Q_OS_LINUX)
    process.setChildProcessModifier([] {
        // Ends the backend with the client, even when the client is killed.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
#endif
    process.start(program, {QString::number(time), QString::number(code)});
    if (!process.waitForStarted(10000))
        return false;
    started = true;
    processId = process.processId();
    return true;
}

bool BackendLauncher::hasExited()
{
    return !started || process.state() == QProcess::NotRunning || process.waitForFinished(0);
}

bool BackendLauncher::waitForExit(int ms)
{
    return hasExited() || process.waitForFinished(ms);
}

void BackendLauncher::stop(int graceMs)
{
    if (hasExited())
        return;
    process.terminate();
    if (!process.waitForFinished(graceMs)) {
        process.kill();
        process.waitForFinished(-1);
    }
}
