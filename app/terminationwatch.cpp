#include "terminationwatch.h"

#if defined(Q_OS_UNIX)
#include "unixsignalwatch.h"
#endif

std::unique_ptr<TerminationWatch> TerminationWatch::create()
{
#if defined(Q_OS_UNIX)
    auto watch = std::make_unique<UnixSignalWatch>();
    if (watch->listen())
        return watch;
#endif
    return nullptr;
}
