// The PE version reader on any file contents: every offset and size in the
// file is hostile. Also the version resource parser on its own.
#include "telemetry/peversionreader.h"

#include <QBuffer>
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer image(&bytes);
    image.open(QIODevice::ReadOnly);
    PeVersionReader reader(image);
    const auto resource = reader.readVersionResource();
    if (resource) {
        if (resource->isEmpty() || resource->size() > bytes.size())
            std::abort();
        if (const auto version = PeVersionReader::fixedFileVersion(*resource))
            version->toString();
    }
    PeVersionReader::fixedFileVersion(bytes);
    return 0;
}
