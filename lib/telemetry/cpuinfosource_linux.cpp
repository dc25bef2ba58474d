#include "telemetry/cpuinfosource.h"

#include "telemetry/proccpuinfo.h"
#include "telemetry/wmicquery.h"

#include <QStandardPaths>

std::optional<CpuInfo> CpuInfoSource::read(const QDeadlineTimer& deadline)
{
    // A "wmic" on the search path stands in for the Windows tool, so the same
    // runner answers here as there.
    if (!QStandardPaths::findExecutable(QStringLiteral("wmic")).isEmpty())
        return WmicQuery::cpuInfo(deadline);
    return ProcCpuInfo::read();
}
