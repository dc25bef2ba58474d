// The descriptor side of ConsoleSink on Windows. An anonymous pipe cannot be
// made non-blocking for us alone (the mode belongs to the pipe end the parent
// shares), so standard output goes to the library's console sink, which also
// knows the console's colour attributes; a descriptor handed over explicitly
// is written with plain blocking writes.
#include "consolesink.h"

#include <io.h>
#include <spdlog/sinks/stdout_color_sinks.h>

#include <climits>

ConsoleSink::~ConsoleSink()
{
    writePending();
    if (fd >= 0)
        ::_close(fd);
}

spdlog::sink_ptr ConsoleSink::forStdout()
{
    return std::make_shared<spdlog::sinks::stdout_color_sink_mt>(spdlog::color_mode::automatic);
}

spdlog::sink_ptr ConsoleSink::forDescriptor(int fd)
{
    const int own = ::_dup(fd);
    return own < 0 ? nullptr : std::make_shared<ConsoleSink>(own, Kind::Description, false);
}

long ConsoleSink::writeSome(const char* data, std::size_t size)
{
    const unsigned chunk = size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
    const int written = ::_write(fd, data, chunk);
    return written < 0 ? -1 : static_cast<long>(written);
}
