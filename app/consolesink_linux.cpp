// The descriptor side of ConsoleSink: non-blocking writes to our own open
// file description, or non-blocking sends on a socket.
#include "consolesink.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// How long the end of the program waits for a reader to take an unfinished line.
constexpr int finishLineMs = 200;
} // namespace

// Writes are non-blocking on the descriptor itself: no writer state here.
struct ConsoleSink::Writer {};

ConsoleSink::ConsoleSink(int fd, Kind kind, bool colours)
    : fd(fd)
    , kind(kind)
    , colours(colours)
{
}

ConsoleSink::~ConsoleSink()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(finishLineMs);
    while (!writePending() && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{fd, POLLOUT, 0};
        ::poll(&ready, 1, 10);
    }
    if (fd >= 0)
        ::close(fd);
}

spdlog::sink_ptr ConsoleSink::forStdout(std::size_t fileBytesPerDay)
{
    struct stat info {};
    if (::fstat(STDOUT_FILENO, &info) == 0 && S_ISREG(info.st_mode))
        return std::make_shared<DailyByteCap>(
            std::make_shared<spdlog::sinks::stdout_color_sink_mt>(spdlog::color_mode::automatic), fileBytesPerDay);
    return forDescriptor(STDOUT_FILENO);
}

spdlog::sink_ptr ConsoleSink::forDescriptor(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return nullptr;
    const bool terminal = ::isatty(fd) == 1;
    if (S_ISSOCK(info.st_mode)) {
        // Sends say "don't wait" themselves; the descriptor keeps its flags.
        const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        return own < 0 ? nullptr : std::make_shared<ConsoleSink>(own, Kind::Socket, false);
    }
    // Opening the pipe, terminal or device by name gives a description of our
    // own; setting O_NONBLOCK on the inherited one would change it for the
    // parent too.
    const std::string name = "/proc/self/fd/" + std::to_string(fd);
    const int own = ::open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    return own < 0 ? nullptr : std::make_shared<ConsoleSink>(own, Kind::Description, terminal);
}

long ConsoleSink::writeSome(const char* data, std::size_t size)
{
    ssize_t written = -1;
    do {
        written = kind == Kind::Socket ? ::send(fd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL)
                                       : ::write(fd, data, size);
    } while (written < 0 && errno == EINTR);
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return 0;
    return static_cast<long>(written);
}
