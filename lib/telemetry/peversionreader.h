#pragma once

#include "ulvex_export.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <expected>
#include <optional>

class QIODevice;

// Reads the fixed file version from the version resource (RT_VERSION) of a
// Windows PE image. Portable: it parses the file itself, reading only the
// headers and the resource it needs, and checks every offset against the file.
class ULVEX_EXPORT PeVersionReader {
public:
    enum class Error {
        NoVersionResource, // not a PE image, or no version resource in it
        UnreadableResource, // the resource lies outside the file
        NoFixedFileInfo, // the resource has no valid fixed file information
    };

    struct FileVersion {
        quint16 major = 0;
        quint16 minor = 0;
        quint16 build = 0;
        quint16 revision = 0;
        QString toString() const;
    };

    explicit PeVersionReader(QIODevice& image);

    // File offset and size of the version resource.
    std::expected<std::pair<qint64, quint32>, Error> locateVersionResource();
    std::expected<QByteArray, Error> readVersionResource();
    // The "\" root block of a version resource, as the system's query would give it.
    static std::expected<FileVersion, Error> fixedFileVersion(const QByteArray& resource);

private:
    std::optional<QByteArray> readAt(qint64 offset, qint64 size);
    std::optional<quint32> u32At(qint64 offset);
    std::optional<quint16> u16At(qint64 offset);
    std::optional<qint64> rvaToOffset(quint32 rva);

    QIODevice& image;
    qint64 sectionTable = 0;
    quint16 sectionCount = 0;
};
