#include "telemetry/versionresource.h"

#include "telemetry/regularfile.h"

#include <QFile>

std::expected<PeVersionReader::FileVersion, VersionResource::Failure> VersionResource::fileVersion(
    const QString& path)
{
    QFile file;
    if (!RegularFile::open(path, file))
        return std::unexpected(Failure::NoResource);
    PeVersionReader reader(file);
    const auto resource = reader.readVersionResource();
    if (!resource) {
        return std::unexpected(resource.error() == PeVersionReader::Error::NoVersionResource
                ? Failure::NoResource
                : Failure::Unreadable);
    }
    const auto version = PeVersionReader::fixedFileVersion(*resource);
    if (!version)
        return std::unexpected(Failure::NoFixedInfo);
    return *version;
}
