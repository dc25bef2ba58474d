#include "processreaper.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {

QString executableName(const QString& pidDir)
{
    // The exe link names the real file; it is unreadable for other users'
    // processes and for zombies, where the kernel's short name still serves.
    QString target = QFile::symLinkTarget(pidDir + QStringLiteral("/exe"));
    if (!target.isEmpty()) {
        target.remove(QStringLiteral(" (deleted)"));
        return QFileInfo(target).fileName();
    }
    QFile comm(pidDir + QStringLiteral("/comm"));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(comm.readAll()).trimmed();
}

} // namespace

QList<qint64> ProcessReaper::findByName(const QString& name)
{
    QList<qint64> found;
    const qint64 self = static_cast<qint64>(::getpid());
    const QDir proc(QStringLiteral("/proc"));
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == self)
            continue;
        if (executableName(proc.filePath(entry)).compare(name, Qt::CaseInsensitive) == 0)
            found.append(pid);
    }
    return found;
}

// SIGKILL cannot be caught, so the process ends at once; its status says
// "killed by signal 9", the nearest Linux has to an exit status of our choice.
int ProcessReaper::terminateOthers(const QString& name)
{
    int signalled = 0;
    for (qint64 pid : findByName(name)) {
        if (::kill(static_cast<pid_t>(pid), SIGKILL) == 0)
            ++signalled;
    }
    return signalled;
}
