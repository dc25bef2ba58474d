#pragma once

#include <QByteArray>

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// Reads an open port on a thread of its own into a bounded buffer. Tells the
// port's owner through callbacks run on that thread: once when data becomes
// available after the owner took the last notice, once when reading failed
// (the thread ends then).
class SerialReader
{
public:
    using DataCallback = std::function<void()>;
    using FailureCallback = std::function<void(DWORD)>;

    // More unread data than this means nobody reads: the reader gives up
    // rather than hold on to an ever-growing buffer.
    static constexpr qsizetype bufferLimit = 4 * 1024 * 1024;
    // Failure code for a full buffer.
    static constexpr DWORD overflowCode = ERROR_BUFFER_OVERFLOW;

    SerialReader(HANDLE port, DataCallback onData, FailureCallback onFailure);
    ~SerialReader();
    SerialReader(const SerialReader&) = delete;
    SerialReader& operator=(const SerialReader&) = delete;

    bool start(DWORD* error);
    // Ends the thread; returns once it no longer touches the port.
    void stop();

    qint64 take(char* data, qint64 maxSize);
    qint64 size() const;
    void clear();
    // True if data arrived since the last call: the owner announces it now.
    bool takeNotification();
    // Set whenever data arrived or reading failed.
    HANDLE wakeEvent() const { return wake; }
    bool failed(DWORD* code) const;

private:
    struct PendingRead;

    void run();
    bool readOnce(PendingRead* read, bool* stopped);
    void append(const char* data, DWORD size);
    void fail(DWORD code);

    HANDLE port;
    HANDLE stopEvent = nullptr;
    HANDLE wake = nullptr;
    DataCallback onData;
    FailureCallback onFailure;
    std::thread thread;
    mutable std::mutex mutex;
    QByteArray buffer;
    qsizetype readOffset = 0;
    std::atomic<bool> notificationPending{false};
    std::atomic<bool> failure{false};
    std::atomic<DWORD> failureCode{0};
    // A read the driver would not give back after cancelling: its memory stays.
    PendingRead* stuckRead = nullptr;
};
