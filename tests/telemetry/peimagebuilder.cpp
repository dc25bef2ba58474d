#include "peimagebuilder.h"

#include <QFile>
#include <QtEndian>

namespace {

void put16(QByteArray& bytes, qsizetype at, quint16 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

void put32(QByteArray& bytes, qsizetype at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

constexpr quint32 kPeOffset = 0x40;
constexpr quint32 kSectionFileOffset = 0x200;
constexpr quint32 kSectionRva = 0x1000;

} // namespace

QByteArray PeImageBuilder::versionInfo() const
{
    const QString key = QStringLiteral("VS_VERSION_INFO");
    QByteArray info(40, '\0');
    for (qsizetype i = 0; i < key.size(); ++i)
        put16(info, 6 + i * 2, key.at(i).unicode());
    if (fixedFileInfo) {
        QByteArray fixed(52, '\0');
        put32(fixed, 0, 0xFEEF04BDU);
        put32(fixed, 4, 0x00010000U);
        put32(fixed, 8, quint32(fileVersion[0]) << 16 | fileVersion[1]);
        put32(fixed, 12, quint32(fileVersion[2]) << 16 | fileVersion[3]);
        put32(fixed, 16, quint32(productVersion[0]) << 16 | productVersion[1]);
        put32(fixed, 20, quint32(productVersion[2]) << 16 | productVersion[3]);
        info += fixed;
    }
    put16(info, 0, static_cast<quint16>(info.size()));
    put16(info, 2, fixedFileInfo ? 52 : 0);
    return info;
}

QByteArray PeImageBuilder::build() const
{
    // Resource tree: three directories of one entry each, a data entry, the data.
    const QByteArray data = versionInfo();
    QByteArray rsrc(0x58, '\0');
    put16(rsrc, 0x00 + 14, 1);
    put32(rsrc, 0x10, resourceType);
    put32(rsrc, 0x14, 0x80000000U | 0x18);
    put16(rsrc, 0x18 + 14, 1);
    put32(rsrc, 0x28, 1);
    put32(rsrc, 0x2c, 0x80000000U | 0x30);
    put16(rsrc, 0x30 + 14, 1);
    put32(rsrc, 0x40, 0x409);
    put32(rsrc, 0x44, 0x48);
    put32(rsrc, 0x48, resourceBeyondFile ? kSectionRva + 0x100000 : kSectionRva + 0x58);
    put32(rsrc, 0x4c, static_cast<quint32>(data.size()));
    rsrc += data;
    const quint32 rawSize = (static_cast<quint32>(rsrc.size()) + 0x1ff) & ~0x1ffU;

    const quint32 optionalSize = pe32Plus ? 240 : 224;
    QByteArray image(kSectionFileOffset, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    put32(image, 0x3c, kPeOffset);
    image.replace(kPeOffset, 4, QByteArray("PE\0\0", 4));
    const qsizetype coff = kPeOffset + 4;
    put16(image, coff, pe32Plus ? 0x8664 : 0x14c);
    put16(image, coff + 2, 1);
    put16(image, coff + 16, static_cast<quint16>(optionalSize));
    put16(image, coff + 18, 0x0102);
    const qsizetype optional = kPeOffset + 24;
    put16(image, optional, pe32Plus ? 0x20b : 0x10b);
    const qsizetype count = optional + (pe32Plus ? 108 : 92);
    put32(image, count, 16);
    put32(image, count + 4 + 2 * 8, kSectionRva);
    put32(image, count + 4 + 2 * 8 + 4, static_cast<quint32>(rsrc.size()));
    const qsizetype section = optional + optionalSize;
    image.replace(section, 6, QByteArray(".rsrc\0", 6));
    put32(image, section + 8, static_cast<quint32>(rsrc.size()));
    put32(image, section + 12, kSectionRva);
    put32(image, section + 16, rawSize);
    put32(image, section + 20, kSectionFileOffset);
    put32(image, section + 36, 0x40000040U);

    rsrc.resize(rawSize, '\0');
    return image + rsrc;
}

bool PeImageBuilder::writeTo(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = build();
    return file.write(bytes) == bytes.size();
}
