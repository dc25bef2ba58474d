#pragma once

#include "telemetry/cpuinfo.h"
#include "ulvex_export.h"

#include <QString>

// Fills the processor record from /proc/cpuinfo and the sysfs cache tables,
// for systems without "wmic". Fields the kernel does not expose stay empty or 0.
class ULVEX_EXPORT ProcCpuInfo {
public:
    static CpuInfo read();
    // cpuinfoText: contents of /proc/cpuinfo; sysCpuDir: a directory laid out
    // like /sys/devices/system/cpu (missing parts are skipped).
    static CpuInfo parse(const QString& cpuinfoText, const QString& sysCpuDir);
};
