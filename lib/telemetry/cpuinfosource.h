#pragma once

#include "telemetry/cpuinfo.h"

#include <QDeadlineTimer>
#include <optional>

// Where the processor record comes from on this platform: "wmic" on Windows,
// the kernel's tables on Linux.
class CpuInfoSource {
public:
    // Nothing when the source failed outright (the reason is logged); the
    // caller then reports an empty record.
    static std::optional<CpuInfo> read(const QDeadlineTimer& deadline);
};
