// The "wmic cpu get /ALL /FORMAT:list" text parser: any bytes the tool prints.
#include "telemetry/cpuinfo.h"

#include <QString>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const CpuInfo info = parseWmicCpuList(text);
    toJson(info);
    return 0;
}
