// The descriptor side of ConsoleSink on Windows. An anonymous pipe cannot be
// made non-blocking for us alone (its mode belongs to the end the parent
// shares), and a console stops taking text while someone selects in it. So a
// thread of the sink does the blocking writes, and the logger only copies
// lines into a bounded buffer: when the reader stops, the buffer fills and
// lines drop, as on Linux, and the program never waits for the console.
#include "consolesink.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <io.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <windows.h>

namespace {
// What the reader may fall behind by before lines drop.
constexpr std::size_t bufferBytes = 256 * 1024;
// How long the end of the program waits for the reader to take what is buffered.
constexpr auto finishWait = std::chrono::milliseconds(200);
} // namespace

struct ConsoleSink::Writer {
    explicit Writer(HANDLE out)
        : out(out)
    {
        // A thread of Windows' own (not std::thread): the end must be able to
        // cancel a write that the reader never takes, which needs its handle.
        thread = CreateThread(nullptr, 0, &Writer::start, this, 0, nullptr);
    }

    static DWORD WINAPI start(void* self)
    {
        static_cast<Writer*>(self)->run();
        return 0;
    }

    // Lets the reader take what is buffered for a short while, then stops the
    // thread. False when the thread could not be stopped: the writer must then
    // stay allocated for the rest of the process.
    bool finish()
    {
        {
            std::unique_lock<std::mutex> lock(mutex);
            drained.wait_for(lock, finishWait, [this] { return (buffer.empty() && !busy) || gone; });
            stopping = true;
        }
        wake.notify_one();
        if (!thread)
            return true;
        // A write the reader never takes would hold the thread: cancel it,
        // again if it was between two writes.
        for (int attempt = 0; attempt < 20; ++attempt) {
            CancelSynchronousIo(thread);
            if (WaitForSingleObject(thread, 50) != WAIT_TIMEOUT)
                return true;
        }
        return false;
    }

    ~Writer()
    {
        if (thread)
            CloseHandle(thread);
        CloseHandle(out);
    }

    // Bytes taken into the buffer; 0 when it is full, -1 when the reader is gone.
    long take(const char* data, std::size_t size)
    {
        std::size_t taken = 0;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (gone)
                return -1;
            taken = std::min(size, bufferBytes - std::min(bufferBytes, buffer.size()));
            buffer.append(data, taken);
        }
        if (taken > 0)
            wake.notify_one();
        return static_cast<long>(taken);
    }

    void run()
    {
        std::string chunk;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [this] { return stopping || !buffer.empty(); });
                if (buffer.empty() && stopping)
                    return;
                chunk.swap(buffer);
                buffer.clear();
                busy = true;
            }
            std::size_t done = 0;
            while (done < chunk.size() && !stopRequested()) {
                DWORD written = 0;
                const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(chunk.size() - done, 64 * 1024));
                if (!WriteFile(out, chunk.data() + done, piece, &written, nullptr)) {
                    std::lock_guard<std::mutex> lock(mutex);
                    gone = true; // broken pipe, closed console or cancelled at the end
                    busy = false;
                    buffer.clear();
                    drained.notify_all();
                    return;
                }
                done += written;
            }
            chunk.clear();
            std::lock_guard<std::mutex> lock(mutex);
            busy = false;
            if (buffer.empty())
                drained.notify_all();
        }
    }

    bool stopRequested()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return stopping;
    }

    HANDLE out;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable drained;
    std::string buffer;
    bool stopping = false;
    bool busy = false; // a chunk is being written
    bool gone = false;
    HANDLE thread = nullptr;
};

ConsoleSink::ConsoleSink(int fd, Kind kind, bool colours)
    : fd(fd)
    , kind(kind)
    , colours(colours)
{
    HANDLE own = INVALID_HANDLE_VALUE;
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (handle != INVALID_HANDLE_VALUE
        && DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &own, 0, FALSE, DUPLICATE_SAME_ACCESS))
        writer = std::make_unique<Writer>(own);
    if (writer && !writer->thread)
        writer.reset(); // no thread: the console is left out, as where it cannot be written
}

ConsoleSink::~ConsoleSink()
{
    writePending();
    if (writer && !writer->finish())
        static_cast<void>(writer.release()); // its thread still runs: leave it be
    writer.reset();
    if (fd >= 0)
        ::_close(fd);
}

spdlog::sink_ptr ConsoleSink::forStdout(std::size_t fileBytesPerDay)
{
    const int fd = ::_fileno(stdout);
    // A regular file never blocks: the library's own sink, as on Linux.
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK)
        return std::make_shared<DailyByteCap>(
            std::make_shared<spdlog::sinks::stdout_color_sink_mt>(spdlog::color_mode::automatic), fileBytesPerDay);
    return forDescriptor(fd);
}

spdlog::sink_ptr ConsoleSink::forDescriptor(int fd)
{
    if (fd < 0)
        return nullptr;
    const int own = ::_dup(fd);
    if (own < 0)
        return nullptr;
    auto sink = std::make_shared<ConsoleSink>(own, Kind::Description, false);
    return sink->writer ? sink : nullptr;
}

long ConsoleSink::writeSome(const char* data, std::size_t size)
{
    return writer ? writer->take(data, size) : -1;
}
