#include "telemetry/peversionreader.h"

#include <QIODevice>
#include <QtEndian>

namespace {

constexpr quint16 kPe32Magic = 0x10b;
constexpr quint16 kPe32PlusMagic = 0x20b;
constexpr quint32 kResourceDirectoryIndex = 2;
constexpr quint32 kRtVersion = 16;
constexpr quint32 kSubdirectoryFlag = 0x80000000U;
constexpr quint32 kFixedInfoSignature = 0xFEEF04BDU;
constexpr qint64 kFixedInfoSize = 52;
// wLength of a version resource is 16 bits wide; anything larger is damage.
constexpr quint32 kMaxVersionResource = 0xFFFF;

quint16 u16(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 u32(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

} // namespace

QString PeVersionReader::FileVersion::toString() const
{
    return QStringLiteral("%1.%2.%3.%4").arg(major).arg(minor).arg(build).arg(revision);
}

PeVersionReader::PeVersionReader(QIODevice& image)
    : image(image)
{
}

std::optional<QByteArray> PeVersionReader::readAt(qint64 offset, qint64 size)
{
    if (offset < 0 || size < 0 || offset > image.size() || size > image.size() - offset)
        return std::nullopt;
    if (!image.seek(offset))
        return std::nullopt;
    QByteArray bytes = image.read(size);
    if (bytes.size() != size)
        return std::nullopt;
    return bytes;
}

std::optional<quint32> PeVersionReader::u32At(qint64 offset)
{
    const auto bytes = readAt(offset, 4);
    return bytes ? std::optional(u32(*bytes, 0)) : std::nullopt;
}

std::optional<quint16> PeVersionReader::u16At(qint64 offset)
{
    const auto bytes = readAt(offset, 2);
    return bytes ? std::optional(u16(*bytes, 0)) : std::nullopt;
}

std::optional<qint64> PeVersionReader::rvaToOffset(quint32 rva)
{
    for (quint16 i = 0; i < sectionCount; ++i) {
        const auto header = readAt(sectionTable + qint64(i) * 40, 40);
        if (!header)
            return std::nullopt;
        const quint64 virtualSize = u32(*header, 8);
        const quint64 virtualAddress = u32(*header, 12);
        const quint64 rawSize = u32(*header, 16);
        const quint64 rawPointer = u32(*header, 20);
        const quint64 extent = qMax(virtualSize, rawSize);
        if (rva >= virtualAddress && rva < virtualAddress + extent) {
            const quint64 delta = rva - virtualAddress;
            if (delta >= rawSize)
                return std::nullopt; // uninitialised data has no bytes in the file
            return static_cast<qint64>(rawPointer + delta);
        }
    }
    return std::nullopt;
}

std::expected<std::pair<qint64, quint32>, PeVersionReader::Error> PeVersionReader::locateVersionResource()
{
    const auto missing = std::unexpected(Error::NoVersionResource);
    const auto dos = readAt(0, 64);
    if (!dos || !dos->startsWith("MZ"))
        return missing;
    const qint64 pe = u32(*dos, 0x3c);
    const auto signature = readAt(pe, 24);
    if (!signature || !signature->startsWith(QByteArray("PE\0\0", 4)))
        return missing;
    sectionCount = u16(*signature, 6);
    const quint16 optionalSize = u16(*signature, 20);
    const qint64 optional = pe + 24;
    sectionTable = optional + optionalSize;

    const auto magic = u16At(optional);
    if (!magic || (*magic != kPe32Magic && *magic != kPe32PlusMagic))
        return missing;
    const qint64 countAt = optional + (*magic == kPe32Magic ? 92 : 108);
    const qint64 directories = countAt + 4;
    const auto count = u32At(countAt);
    if (!count || *count <= kResourceDirectoryIndex
        || directories + (kResourceDirectoryIndex + 1) * 8 > sectionTable)
        return missing;
    const auto resourceRva = u32At(directories + kResourceDirectoryIndex * 8);
    if (!resourceRva || *resourceRva == 0)
        return missing;
    const auto resourceBase = rvaToOffset(*resourceRva);
    if (!resourceBase)
        return missing;

    // Type, then name, then language: the first entry of each level below RT_VERSION.
    qint64 directory = *resourceBase;
    quint32 entry = 0;
    for (int level = 0; level < 3; ++level) {
        const auto header = readAt(directory, 16);
        if (!header)
            return missing;
        const quint32 entries = quint32(u16(*header, 12)) + u16(*header, 14);
        std::optional<quint32> found;
        for (quint32 i = 0; i < entries && !found; ++i) {
            const auto item = readAt(directory + 16 + qint64(i) * 8, 8);
            if (!item)
                return missing;
            if (level > 0 || u32(*item, 0) == kRtVersion)
                found = u32(*item, 4);
        }
        if (!found)
            return missing;
        entry = *found;
        const bool subdirectory = (entry & kSubdirectoryFlag) != 0;
        if (subdirectory != (level < 2))
            return missing;
        directory = *resourceBase + (entry & ~kSubdirectoryFlag);
    }

    const auto dataEntry = readAt(directory, 16);
    if (!dataEntry)
        return missing;
    const quint32 size = u32(*dataEntry, 4);
    if (size == 0)
        return missing;
    const auto offset = rvaToOffset(u32(*dataEntry, 0));
    if (!offset)
        return std::unexpected(Error::UnreadableResource);
    return std::pair{*offset, size};
}

std::expected<QByteArray, PeVersionReader::Error> PeVersionReader::readVersionResource()
{
    const auto location = locateVersionResource();
    if (!location)
        return std::unexpected(location.error());
    if (location->second > kMaxVersionResource)
        return std::unexpected(Error::UnreadableResource);
    auto bytes = readAt(location->first, location->second);
    if (!bytes)
        return std::unexpected(Error::UnreadableResource);
    return *bytes;
}

std::expected<PeVersionReader::FileVersion, PeVersionReader::Error> PeVersionReader::fixedFileVersion(
    const QByteArray& resource)
{
    const auto missing = std::unexpected(Error::NoFixedFileInfo);
    static const QString key = QStringLiteral("VS_VERSION_INFO");
    // wLength, wValueLength, wType, the key with its terminator, padding to 32 bits.
    const qsizetype keyEnd = 6 + (key.size() + 1) * 2;
    const qsizetype valueAt = (keyEnd + 3) & ~qsizetype(3);
    if (resource.size() < valueAt + kFixedInfoSize)
        return missing;
    const quint16 length = u16(resource, 0);
    const quint16 valueLength = u16(resource, 2);
    if (length > resource.size() || valueLength < kFixedInfoSize || valueAt + valueLength > length)
        return missing;
    const QByteArray keyBytes(reinterpret_cast<const char*>(key.utf16()), key.size() * 2);
    if (resource.mid(6, keyBytes.size()) != keyBytes)
        return missing;
    if (u32(resource, valueAt) != kFixedInfoSignature)
        return missing;
    const quint32 high = u32(resource, valueAt + 8);
    const quint32 low = u32(resource, valueAt + 12);
    return FileVersion{quint16(high >> 16), quint16(high & 0xffff), quint16(low >> 16), quint16(low & 0xffff)};
}
