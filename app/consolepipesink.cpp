#include "consolepipesink.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// How long the end of the program waits for a reader to take an unfinished line.
constexpr int finishLineMs = 200;
} // namespace

ConsolePipeSink::ConsolePipeSink(int fd)
    : fd(fd)
{
}

ConsolePipeSink::~ConsolePipeSink()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(finishLineMs);
    while (!writePending() && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{fd, POLLOUT, 0};
        ::poll(&ready, 1, 10);
    }
    if (fd >= 0)
        ::close(fd);
}

bool ConsolePipeSink::stdoutIsPipe()
{
    struct stat info {};
    return ::fstat(STDOUT_FILENO, &info) == 0 && S_ISFIFO(info.st_mode);
}

int ConsolePipeSink::openStdoutPipe()
{
    if (!stdoutIsPipe())
        return -1;
    // Opening the pipe by name gives a description of our own; setting
    // O_NONBLOCK on the inherited one would change it for the parent too.
    return ::open("/proc/self/fd/1", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
}

std::size_t ConsolePipeSink::droppedLines()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped;
}

bool ConsolePipeSink::writePending()
{
    while (!pending.empty()) {
        const ssize_t written = ::write(fd, pending.data(), pending.size());
        if (written > 0) {
            pending.erase(0, static_cast<std::size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            pending.clear(); // the reader is gone: nobody will see the rest
        break;
    }
    return pending.empty();
}

void ConsolePipeSink::sink_it_(const spdlog::details::log_msg& msg)
{
    spdlog::memory_buf_t line;
    formatter_->format(msg, line);
    writeLine(line.data(), line.size());
}

void ConsolePipeSink::writeRawLine(std::string_view text)
{
    std::string line(text);
    line.push_back('\n');
    std::lock_guard<std::mutex> lock(mutex_);
    writeLine(line.data(), line.size());
}

void ConsolePipeSink::writeLine(const char* data, std::size_t size)
{
    if (!writePending()) {
        ++dropped;
        return;
    }
    // Lines up to PIPE_BUF bytes go in one piece or not at all; a longer one
    // may go in part, and its rest is written before anything else.
    ssize_t written = -1;
    do {
        written = ::write(fd, data, size);
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        ++dropped;
        return;
    }
    if (static_cast<std::size_t>(written) < size)
        pending.assign(data + written, size - static_cast<std::size_t>(written));
}

void ConsolePipeSink::flush_()
{
    writePending();
}
