#include "telemetry/physicalmemory.h"

#include <windows.h>

quint64 PhysicalMemory::total()
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status))
        return unknown;
    return status.ullTotalPhys;
}
