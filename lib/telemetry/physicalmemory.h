#pragma once

#include "ulvex_export.h"

#include <QtGlobal>
#include <limits>

// The computer's total physical memory: GlobalMemoryStatusEx on Windows,
// sysinfo on Linux.
class ULVEX_EXPORT PhysicalMemory {
public:
    // All bits set marks a total that could not be read.
    static constexpr quint64 unknown = std::numeric_limits<quint64>::max();

    // Bytes, or `unknown`.
    static quint64 total();
};
