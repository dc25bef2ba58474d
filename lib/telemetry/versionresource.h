#pragma once

#include "telemetry/peversionreader.h"
#include "ulvex_export.h"

#include <QString>
#include <expected>

// The fixed file version of an executable from its version resource: the
// system's version functions on Windows, our own PE reader elsewhere.
class ULVEX_EXPORT VersionResource {
public:
    // The step that failed, in the order the steps run.
    enum class Failure {
        NoResource, // no version resource (size 0)
        Unreadable, // the resource could not be read
        NoFixedInfo, // the "\" root block holds no fixed file information
    };

    // `path` is absolute and names a regular file.
    static std::expected<PeVersionReader::FileVersion, Failure> fileVersion(const QString& path);
};
