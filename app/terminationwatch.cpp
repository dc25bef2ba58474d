#include "terminationwatch.h"

#if defined(Q_OS_WIN)
#include "consolecontrolwatch.h"
using PlatformWatch = ConsoleControlWatch;
#else
#include "unixsignalwatch.h"
using PlatformWatch = UnixSignalWatch;
#endif

std::unique_ptr<TerminationWatch> TerminationWatch::create()
{
    auto watch = std::make_unique<PlatformWatch>();
    if (watch->listen())
        return watch;
    return nullptr;
}
