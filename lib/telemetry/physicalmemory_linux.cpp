#include "telemetry/physicalmemory.h"

#include <sys/sysinfo.h>

quint64 PhysicalMemory::total()
{
    struct sysinfo info {};
    if (sysinfo(&info) != 0)
        return unknown;
    return static_cast<quint64>(info.totalram) * info.mem_unit;
}
