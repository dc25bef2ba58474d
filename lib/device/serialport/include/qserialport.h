#pragma once

#include "qserialportglobal.h"

#include <QIODevice>
#include <QString>

#include <memory>

class QSerialPortInfo;
class SerialReader;

// A serial port over the Win32 communications API, with the interface of Qt
// Serial Port's class of the same name (the part this project uses).
class Q_SERIALPORT_EXPORT QSerialPort : public QIODevice
{
    Q_OBJECT

public:
    using Handle = void*;

    enum Direction { Input = 1, Output = 2, AllDirections = Input | Output };
    Q_DECLARE_FLAGS(Directions, Direction)
    Q_FLAG(Directions)

    enum BaudRate {
        Baud1200 = 1200,
        Baud2400 = 2400,
        Baud4800 = 4800,
        Baud9600 = 9600,
        Baud19200 = 19200,
        Baud38400 = 38400,
        Baud57600 = 57600,
        Baud115200 = 115200
    };
    Q_ENUM(BaudRate)

    enum DataBits { Data5 = 5, Data6 = 6, Data7 = 7, Data8 = 8 };
    Q_ENUM(DataBits)

    enum Parity { NoParity = 0, EvenParity = 2, OddParity = 3, SpaceParity = 4, MarkParity = 5 };
    Q_ENUM(Parity)

    enum StopBits { OneStop = 1, OneAndHalfStop = 3, TwoStop = 2 };
    Q_ENUM(StopBits)

    enum FlowControl { NoFlowControl, HardwareControl, SoftwareControl };
    Q_ENUM(FlowControl)

    enum SerialPortError {
        NoError,
        DeviceNotFoundError,
        PermissionError,
        OpenError,
        WriteError,
        ReadError,
        ResourceError,
        UnsupportedOperationError,
        UnknownError,
        TimeoutError,
        NotOpenError
    };
    Q_ENUM(SerialPortError)

    explicit QSerialPort(QObject* parent = nullptr);
    explicit QSerialPort(const QString& name, QObject* parent = nullptr);
    explicit QSerialPort(const QSerialPortInfo& info, QObject* parent = nullptr);
    ~QSerialPort() override;

    void setPortName(const QString& name);
    QString portName() const;
    void setPort(const QSerialPortInfo& info);

    bool open(OpenMode mode) override;
    void close() override;

    bool setBaudRate(qint32 baudRate, Directions directions = AllDirections);
    qint32 baudRate(Directions directions = AllDirections) const;
    bool setDataBits(DataBits dataBits);
    DataBits dataBits() const;
    bool setParity(Parity parity);
    Parity parity() const;
    bool setStopBits(StopBits stopBits);
    StopBits stopBits() const;
    bool setFlowControl(FlowControl flowControl);
    FlowControl flowControl() const;

    bool flush();
    bool clear(Directions directions = AllDirections);

    SerialPortError error() const;
    void clearError();

    bool isSequential() const override;
    qint64 bytesAvailable() const override;
    qint64 bytesToWrite() const override;
    bool waitForReadyRead(int msecs = 30000) override;
    bool waitForBytesWritten(int msecs = 30000) override;

    Handle handle() const;

signals:
    void errorOccurred(QSerialPort::SerialPortError error);

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    void setError(SerialPortError error, const QString& text);
    void setSystemError(SerialPortError error, unsigned long code);
    bool applySettings();
    void startReader();
    void deliverData(quint64 generation);
    void deliverFailure(quint64 generation, unsigned long code);
    void deliverWritten(quint64 generation);
    void releasePort();

    QString name;
    qint32 baud = Baud9600;
    DataBits bits = Data8;
    Parity parityMode = NoParity;
    StopBits stops = OneStop;
    FlowControl flow = NoFlowControl;
    SerialPortError lastError = NoError;
    Handle port = nullptr;
    std::unique_ptr<SerialReader> reader;
    // Tells queued notifications of an earlier opening from the current one.
    quint64 generation = 0;
    qint64 writtenUnreported = 0;
    bool lastWriteFailed = false;
    bool readFailureReported = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(QSerialPort::Directions)
