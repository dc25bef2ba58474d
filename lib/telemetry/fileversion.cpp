#include "telemetry/fileversion.h"

#include "config/qtformatters.h"
#include "telemetry/peversionreader.h"
#include "telemetry/regularfile.h"
#include "config/backendlogger.h"

#include <QFile>
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

    QFile file;
    if (!RegularFile::open(QFileInfo(path).absoluteFilePath(), file)) {
        logger->error("GetFileVersionInfoSize failed");
        return fallback;
    }
    PeVersionReader reader(file);
    const auto resource = reader.readVersionResource();
    if (!resource) {
        if (resource.error() == PeVersionReader::Error::NoVersionResource)
            logger->error("GetFileVersionInfoSize failed");
        else
            logger->error("Could not run GetFileVersionInfo");
        return fallback;
    }
    logger->trace("Frontends file info");

    const auto version = PeVersionReader::fixedFileVersion(*resource);
    if (!version) {
        logger->error("Could not run VerQueryValue");
        return fallback;
    }
    logger->trace("Frontends version extracted");
    return version->toString();
}
