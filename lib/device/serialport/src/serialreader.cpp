#include "serialreader.h"

#include <QtGlobal>

#include <system_error>

struct SerialReader::PendingRead
{
    OVERLAPPED overlapped{};
    char data[4096];
};

namespace {
// How long a cancelled read may take to come back before its memory is given up.
constexpr DWORD cancelGraceMs = 2000;
// An empty read back sooner than this did not wait for the read timeout.
constexpr ULONGLONG quickReturnMs = 20;
constexpr DWORD readPauseMs = 100;
}

SerialReader::SerialReader(HANDLE port, DataCallback onData, FailureCallback onFailure)
    : port(port), onData(std::move(onData)), onFailure(std::move(onFailure))
{
}

SerialReader::~SerialReader()
{
    stop();
    if (stopEvent)
        ::CloseHandle(stopEvent);
    if (wake)
        ::CloseHandle(wake);
}

bool SerialReader::start(DWORD* error)
{
    stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!stopEvent || !wake) {
        *error = ::GetLastError();
        return false;
    }
    try {
        thread = std::thread(&SerialReader::run, this);
    } catch (const std::system_error&) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    return true;
}

void SerialReader::stop()
{
    if (!thread.joinable())
        return;
    ::SetEvent(stopEvent);
    thread.join();
}

void SerialReader::run()
{
    auto* read = new PendingRead;
    read->overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!read->overlapped.hEvent) {
        fail(::GetLastError());
        delete read;
        return;
    }
    bool stopped = false;
    while (!stopped && readOnce(read, &stopped)) {
    }
    if (stuckRead == read)
        return; // the driver may still write into it
    ::CloseHandle(read->overlapped.hEvent);
    delete read;
}

// One read: false when the thread is to end (stopped, failed).
bool SerialReader::readOnce(PendingRead* read, bool* stopped)
{
    // Asks for what is queued, or for one byte when nothing is: a read returns
    // at once then on any system, whether or not its driver honours the
    // timeouts that end a read at the first byte (Wine does not).
    DWORD lineErrors = 0;
    COMSTAT status{};
    if (!::ClearCommError(port, &lineErrors, &status)) {
        fail(::GetLastError());
        return false;
    }
    const DWORD wanted = qBound<DWORD>(1, status.cbInQue, sizeof(read->data));
    ::ResetEvent(read->overlapped.hEvent);
    const ULONGLONG started = ::GetTickCount64();
    if (!::ReadFile(port, read->data, wanted, nullptr, &read->overlapped)) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_IO_PENDING) {
            fail(code);
            return false;
        }
    }
    const HANDLE events[2] = {read->overlapped.hEvent, stopEvent};
    const DWORD which = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
    DWORD got = 0;
    if (which != WAIT_OBJECT_0) {
        *stopped = true;
        if (which != WAIT_OBJECT_0 + 1)
            fail(::GetLastError());
        ::CancelIoEx(port, &read->overlapped);
        if (::WaitForSingleObject(read->overlapped.hEvent, cancelGraceMs) != WAIT_OBJECT_0) {
            stuckRead = read;
            return false;
        }
        // Bytes that arrived just before the cancel are kept.
        if (::GetOverlappedResult(port, &read->overlapped, &got, FALSE) && got > 0)
            append(read->data, got);
        return false;
    }
    if (!::GetOverlappedResult(port, &read->overlapped, &got, FALSE)) {
        fail(::GetLastError());
        return false;
    }
    if (got > 0) {
        append(read->data, got);
        return !failure.load();
    }
    // An empty read is the read timeout; one that comes back at once means a
    // line that has nothing more to give: wait instead of asking again at once.
    if (::GetTickCount64() - started < quickReturnMs) {
        if (::WaitForSingleObject(stopEvent, readPauseMs) == WAIT_OBJECT_0)
            *stopped = true;
    }
    return !*stopped;
}

void SerialReader::append(const char* data, DWORD size)
{
    {
        std::lock_guard lock(mutex);
        if (buffer.size() - readOffset + static_cast<qsizetype>(size) > bufferLimit) {
            fail(overflowCode);
            return;
        }
        if (readOffset > 0 && readOffset >= buffer.size() / 2) {
            buffer.remove(0, readOffset);
            readOffset = 0;
        }
        buffer.append(data, static_cast<qsizetype>(size));
    }
    if (!notificationPending.exchange(true))
        onData();
    ::SetEvent(wake);
}

void SerialReader::fail(DWORD code)
{
    failureCode.store(code);
    if (!failure.exchange(true))
        onFailure(code);
    ::SetEvent(wake);
}

qint64 SerialReader::take(char* data, qint64 maxSize)
{
    std::lock_guard lock(mutex);
    const qint64 n = qMin<qint64>(maxSize, buffer.size() - readOffset);
    if (n <= 0)
        return 0;
    memcpy(data, buffer.constData() + readOffset, static_cast<size_t>(n));
    readOffset += n;
    if (readOffset == buffer.size()) {
        buffer.clear();
        readOffset = 0;
    }
    return n;
}

qint64 SerialReader::size() const
{
    std::lock_guard lock(mutex);
    return buffer.size() - readOffset;
}

void SerialReader::clear()
{
    std::lock_guard lock(mutex);
    buffer.clear();
    readOffset = 0;
}

bool SerialReader::takeNotification()
{
    return notificationPending.exchange(false);
}

bool SerialReader::failed(DWORD* code) const
{
    if (!failure.load())
        return false;
    *code = failureCode.load();
    return true;
}
