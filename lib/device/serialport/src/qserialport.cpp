#include "qserialport.h"

#include "commsettings.h"
#include "portenumerator.h"
#include "qserialportinfo.h"
#include "serialreader.h"

#include <QMetaObject>

#include <functional>


QSerialPort::QSerialPort(QObject* parent) : QIODevice(parent)
{
    qRegisterMetaType<QSerialPort::SerialPortError>();
}

QSerialPort::QSerialPort(const QString& name, QObject* parent) : QSerialPort(parent)
{
    setPortName(name);
}

QSerialPort::QSerialPort(const QSerialPortInfo& info, QObject* parent) : QSerialPort(parent)
{
    setPort(info);
}

QSerialPort::~QSerialPort()
{
    if (isOpen())
        close();
    releasePort();
}

void QSerialPort::setPortName(const QString& portName)
{
    name = portName;
}

QString QSerialPort::portName() const
{
    return name;
}

void QSerialPort::setPort(const QSerialPortInfo& info)
{
    name = info.portName();
}

bool QSerialPort::open(OpenMode mode)
{
    if (isOpen()) {
        setError(OpenError, tr("The port is already open"));
        return false;
    }
    if ((mode & ReadWrite) == 0) {
        setError(UnsupportedOperationError, tr("Unsupported open mode"));
        return false;
    }
    clearError();
    DWORD access = 0;
    if (mode & ReadOnly)
        access |= GENERIC_READ;
    if (mode & WriteOnly)
        access |= GENERIC_WRITE;
    const QString location = PortEnumerator::systemLocationOf(name);
    HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t*>(location.utf16()), access, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        setSystemError(CommSettings::openError(code), code);
        return false;
    }
    port = h;
    DWORD code = 0;
    if (!applySettings()) {
        releasePort();
        return false;
    }
    if (!CommSettings::applyTimeouts(h, &code)) {
        setSystemError(OpenError, code);
        releasePort();
        return false;
    }
    ::PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
    ++generation;
    writtenUnreported = 0;
    lastWriteFailed = false;
    readFailureReported = false;
    QIODevice::open(mode);
    if (mode & ReadOnly)
        startReader();
    return isOpen();
}

void QSerialPort::startReader()
{
    const quint64 current = generation;
    reader = std::make_unique<SerialReader>(
        native(port), [this, current] { QMetaObject::invokeMethod(this, [this, current] { deliverData(current); }, Qt::QueuedConnection); },
        [this, current](DWORD code) {
            QMetaObject::invokeMethod(this, [this, current, code] { deliverFailure(current, code); }, Qt::QueuedConnection);
        });
    DWORD code = 0;
    if (!reader->start(&code)) {
        reader.reset();
        QIODevice::close();
        releasePort();
        setSystemError(ResourceError, code);
    }
}

void QSerialPort::close()
{
    if (!isOpen()) {
        setError(NotOpenError, tr("The port is not open"));
        return;
    }
    QIODevice::close();
    releasePort();
}

// Stops the reader before the handle goes: it reads through that handle.
void QSerialPort::releasePort()
{
    if (reader) {
        reader->stop();
        reader.reset();
    }
    if (port) {
        ::CloseHandle(native(port));
        port = nullptr;
    }
    ++generation;
}

bool QSerialPort::applySettings()
{
    if (!port)
        return true;
    CommSettings settings;
    settings.baudRate = baud;
    settings.dataBits = bits;
    settings.parity = parityMode;
    settings.stopBits = stops;
    settings.flowControl = flow;
    DWORD code = 0;
    if (settings.apply(native(port), &code))
        return true;
    setSystemError(code == ERROR_INVALID_PARAMETER ? UnsupportedOperationError : OpenError, code);
    return false;
}

void QSerialPort::deliverData(quint64 from)
{
    if (from != generation || !reader || !reader->takeNotification())
        return;
    emit readyRead();
}

void QSerialPort::deliverFailure(quint64 from, unsigned long code)
{
    if (from != generation || !isOpen() || readFailureReported)
        return;
    readFailureReported = true;
    if (code == SerialReader::overflowCode)
        setError(ResourceError, tr("Unread data exceeds %1 bytes").arg(SerialReader::bufferLimit));
    else
        setSystemError(CommSettings::deviceGone(code) ? ResourceError : ReadError, code);
}

void QSerialPort::deliverWritten(quint64 from)
{
    if (from != generation || writtenUnreported == 0)
        return;
    const qint64 written = writtenUnreported;
    writtenUnreported = 0;
    emit bytesWritten(written);
}

bool QSerialPort::setBaudRate(qint32 baudRate, Directions directions)
{
    // The system keeps one rate for both directions.
    if (directions != AllDirections || baudRate <= 0) {
        setError(UnsupportedOperationError, tr("Unsupported baud rate"));
        return false;
    }
    const qint32 previous = baud;
    baud = baudRate;
    if (applySettings())
        return true;
    baud = previous;
    return false;
}

qint32 QSerialPort::baudRate(Directions) const
{
    return baud;
}

// Each setter keeps the old value when an open port refuses the new one.
template<typename T>
static bool change(T& field, T value, const std::function<bool()>& apply)
{
    const T previous = field;
    field = value;
    if (apply())
        return true;
    field = previous;
    return false;
}

bool QSerialPort::setDataBits(DataBits dataBits)
{
    if (dataBits < Data5 || dataBits > Data8) {
        setError(UnsupportedOperationError, tr("Unsupported data bits"));
        return false;
    }
    return change(bits, dataBits, [this] { return applySettings(); });
}

QSerialPort::DataBits QSerialPort::dataBits() const
{
    return bits;
}

bool QSerialPort::setParity(Parity parity)
{
    return change(parityMode, parity, [this] { return applySettings(); });
}

QSerialPort::Parity QSerialPort::parity() const
{
    return parityMode;
}

bool QSerialPort::setStopBits(StopBits stopBits)
{
    return change(stops, stopBits, [this] { return applySettings(); });
}

QSerialPort::StopBits QSerialPort::stopBits() const
{
    return stops;
}

bool QSerialPort::setFlowControl(FlowControl flowControl)
{
    return change(flow, flowControl, [this] { return applySettings(); });
}

QSerialPort::FlowControl QSerialPort::flowControl() const
{
    return flow;
}

QSerialPort::SerialPortError QSerialPort::error() const
{
    return lastError;
}

void QSerialPort::clearError()
{
    setError(NoError, QString());
}

void QSerialPort::setError(SerialPortError error, const QString& text)
{
    lastError = error;
    setErrorString(error == NoError ? tr("No error") : text);
    emit errorOccurred(error);
}

void QSerialPort::setSystemError(SerialPortError error, unsigned long code)
{
    setError(error, qt_error_string(static_cast<int>(code)));
}

QSerialPort::Handle QSerialPort::handle() const
{
    return port;
}
