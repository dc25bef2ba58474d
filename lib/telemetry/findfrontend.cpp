#include "telemetry/findfrontend.h"

#include "config/qtformatters.h"
#include "telemetry/hiddenentry.h"
#include "telemetry/telemetryconfig.h"
#include "config/backendlogger.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QQueue>
#include <QRegularExpression>

std::optional<QString> findFrontend()
{
    const TelemetryConfig config;
    return findFrontend(config.frontendSearchRoot, config.frontendSearchDepth, config.frontendSearchEntries);
}

std::optional<QString> findFrontend(const QString& root, int maxDepth, int maxEntries)
{
    static const QRegularExpression uninstall(QStringLiteral("uninstall\\s*"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpression exeName(QRegularExpression::wildcardToRegularExpression(QStringLiteral("*.exe")),
        QRegularExpression::CaseInsensitiveOption);

    struct Pending {
        QString path;
        int depth;
    };
    QQueue<Pending> queue;
    queue.enqueue({QDir::cleanPath(QDir(root).absolutePath()), 0});
    int visited = 0;
    while (!queue.isEmpty()) {
        const Pending dir = queue.dequeue();
        // Hidden and system entries stay out, as in a listing a person would see.
        QDirIterator it(dir.path, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            if (++visited > maxEntries) {
                backendLogger()->debug("Frontend search stopped after {} entries", maxEntries);
                return std::nullopt;
            }
            const QFileInfo entry = it.nextFileInfo();
            if (HiddenEntry::isHidden(entry))
                continue;
            if (entry.isDir()) {
                if (dir.depth < maxDepth && !entry.isSymLink() && entry.isReadable())
                    queue.enqueue({entry.filePath(), dir.depth + 1});
                continue;
            }
            const QString name = entry.fileName();
            if (!exeName.match(name).hasMatch() || !name.contains(QLatin1String("uninstall"), Qt::CaseInsensitive))
                continue;
            QString frontend = name;
            frontend.remove(uninstall);
            return QDir(entry.absolutePath()).absoluteFilePath(frontend);
        }
    }
    return std::nullopt;
}
