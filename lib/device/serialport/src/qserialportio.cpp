// The reading and writing half of QSerialPort.
#include "qserialport.h"

#include "commsettings.h"
#include "serialreader.h"

#include <QDeadlineTimer>
#include <QMetaObject>

namespace {
// A write that has not finished in this time has a line that does not move.
DWORD writeTimeoutMs(qint64 size, qint32 baud)
{
    const qint64 lineMs = size * 11 * 1000 / qMax<qint32>(baud, 50);
    return static_cast<DWORD>(qMin<qint64>(1000 + 2 * lineMs, 30000));
}

// How long a cancelled write may take to come back before its memory is given up.
constexpr DWORD cancelGraceMs = 2000;

struct PendingWrite
{
    OVERLAPPED overlapped{};
    QByteArray data;
};
} // namespace

bool QSerialPort::isSequential() const
{
    return true;
}

qint64 QSerialPort::bytesAvailable() const
{
    return QIODevice::bytesAvailable() + (reader ? reader->size() : 0);
}

qint64 QSerialPort::bytesToWrite() const
{
    // Writes finish before write() returns.
    return QIODevice::bytesToWrite();
}

qint64 QSerialPort::readData(char* data, qint64 maxSize)
{
    return reader ? reader->take(data, maxSize) : 0;
}

// Writes and waits for the write to finish, bounded by what the line's speed
// allows; bytesWritten follows from the event loop.
qint64 QSerialPort::writeData(const char* data, qint64 maxSize)
{
    if (!port) {
        setError(NotOpenError, tr("The port is not open"));
        return -1;
    }
    if (maxSize <= 0)
        return 0;
    const qint64 size = qMin<qint64>(maxSize, 1 << 20);
    auto* write = new PendingWrite;
    write->data = QByteArray(data, static_cast<qsizetype>(size));
    write->overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!write->overlapped.hEvent) {
        setSystemError(ResourceError, ::GetLastError());
        delete write;
        return -1;
    }
    DWORD got = 0;
    DWORD code = 0;
    bool done = ::WriteFile(native(port), write->data.constData(), static_cast<DWORD>(size), nullptr, &write->overlapped);
    if (!done && (code = ::GetLastError()) == ERROR_IO_PENDING) {
        if (::WaitForSingleObject(write->overlapped.hEvent, writeTimeoutMs(size, baud)) != WAIT_OBJECT_0) {
            ::CancelIoEx(native(port), &write->overlapped);
            if (::WaitForSingleObject(write->overlapped.hEvent, cancelGraceMs) != WAIT_OBJECT_0) {
                // The driver still holds the buffer: it stays allocated.
                lastWriteFailed = true;
                setError(TimeoutError, tr("Write timed out"));
                return -1;
            }
            ::GetOverlappedResult(native(port), &write->overlapped, &got, FALSE);
            ::CloseHandle(write->overlapped.hEvent);
            delete write;
            lastWriteFailed = true;
            setError(TimeoutError, tr("Write timed out"));
            return -1;
        }
        done = true;
    }
    if (done && !::GetOverlappedResult(native(port), &write->overlapped, &got, FALSE)) {
        done = false;
        code = ::GetLastError();
    }
    ::CloseHandle(write->overlapped.hEvent);
    delete write;
    if (!done) {
        lastWriteFailed = true;
        setSystemError(CommSettings::deviceGone(code) ? ResourceError : WriteError, code);
        return -1;
    }
    lastWriteFailed = false;
    if (got > 0 && writtenUnreported == 0) {
        const quint64 current = generation;
        QMetaObject::invokeMethod(this, [this, current] { deliverWritten(current); }, Qt::QueuedConnection);
    }
    writtenUnreported += got;
    return got;
}

bool QSerialPort::waitForBytesWritten(int msecs)
{
    Q_UNUSED(msecs); // writes have finished already
    if (!port || !(openMode() & WriteOnly)) {
        setError(NotOpenError, tr("The port is not open"));
        return false;
    }
    if (lastWriteFailed)
        return false;
    deliverWritten(generation);
    return true;
}

bool QSerialPort::waitForReadyRead(int msecs)
{
    if (!reader) {
        setError(NotOpenError, tr("The port is not open for reading"));
        return false;
    }
    const QDeadlineTimer deadline(msecs);
    for (;;) {
        if (reader->takeNotification()) {
            emit readyRead();
            return true;
        }
        DWORD code = 0;
        if (reader->failed(&code)) {
            deliverFailure(generation, code);
            return false;
        }
        const qint64 left = deadline.remainingTime();
        const DWORD wait = left < 0 ? INFINITE : static_cast<DWORD>(qMin<qint64>(left, INFINITE - 1));
        const DWORD woke = ::WaitForSingleObject(reader->wakeEvent(), wait);
        if (woke == WAIT_TIMEOUT) {
            setError(TimeoutError, tr("No data within %1 ms").arg(msecs));
            return false;
        }
        if (woke != WAIT_OBJECT_0) {
            setSystemError(UnknownError, ::GetLastError());
            return false;
        }
    }
}

bool QSerialPort::clear(Directions directions)
{
    if (!port) {
        setError(NotOpenError, tr("The port is not open"));
        return false;
    }
    DWORD flags = 0;
    if (directions & Input) {
        flags |= PURGE_RXCLEAR;
        if (reader)
            reader->clear();
        QIODevice::skip(QIODevice::bytesAvailable());
    }
    if (directions & Output)
        flags |= PURGE_TXCLEAR;
    if (!::PurgeComm(native(port), flags)) {
        setSystemError(UnknownError, ::GetLastError());
        return false;
    }
    return true;
}

bool QSerialPort::flush()
{
    // Nothing is held back: every write has reached the driver.
    return port && (openMode() & WriteOnly) && !lastWriteFailed;
}
