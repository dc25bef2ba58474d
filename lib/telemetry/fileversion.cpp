#include "telemetry/fileversion.h"

#include "config/backendlogger.h"
#include "config/qtformatters.h"
#include "telemetry/regularfile.h"
#include "telemetry/versionresource.h"

#include <QFileInfo>

QString fileVersionString(const QString& path)
{
    static const QString fallback = QStringLiteral("0.0.0");
    auto logger = backendLogger();
    // Only a regular file can be an executable; anything else under its name
    // (a FIFO would block the read for ever) counts as no frontend.
    if (!RegularFile::exists(path)) {
        logger->warn("Getting version string for file: {}", path);
        return fallback;
    }
    logger->trace("Frontend exe found");

    const auto version = VersionResource::fileVersion(QFileInfo(path).absoluteFilePath());
    if (!version) {
        switch (version.error()) {
        case VersionResource::Failure::NoResource:
            logger->error("GetFileVersionInfoSize failed");
            return fallback;
        case VersionResource::Failure::Unreadable:
            logger->error("Could not run GetFileVersionInfo");
            return fallback;
        case VersionResource::Failure::NoFixedInfo:
            logger->trace("Frontends file info");
            logger->error("Could not run VerQueryValue");
            return fallback;
        }
        return fallback;
    }
    logger->trace("Frontends file info");
    logger->trace("Frontends version extracted");
    return version->toString();
}
