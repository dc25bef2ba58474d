#include "telemetry/cpuinfosource.h"

#include "telemetry/wmicquery.h"

std::optional<CpuInfo> CpuInfoSource::read(const QDeadlineTimer& deadline)
{
    return WmicQuery::cpuInfo(deadline);
}
