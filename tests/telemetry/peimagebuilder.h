#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <array>

// Writes the bytes of a minimal Windows PE image: DOS header, PE header, one
// .rsrc section whose resource tree holds a single entry.
class PeImageBuilder {
public:
    std::array<quint16, 4> fileVersion{1, 0, 0, 0};
    std::array<quint16, 4> productVersion{9, 9, 9, 9};
    bool pe32Plus = true;
    quint32 resourceType = 16; // RT_VERSION
    bool fixedFileInfo = true;
    bool resourceBeyondFile = false;

    QByteArray build() const;
    bool writeTo(const QString& path) const;

private:
    QByteArray versionInfo() const;
};
