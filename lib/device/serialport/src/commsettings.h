#pragma once

#include "qserialport.h"

#include <windows.h>

inline HANDLE native(QSerialPort::Handle handle)
{
    return static_cast<HANDLE>(handle);
}

// The line settings of an open port and the mapping of system error codes to
// the port's errors.
class CommSettings
{
public:
    qint32 baudRate = QSerialPort::Baud9600;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;

    // Writes the settings to the device; on failure *error holds the code.
    bool apply(HANDLE port, DWORD* error) const;
    // A read returns as soon as bytes arrive, or empty after readTimeoutMs.
    static bool applyTimeouts(HANDLE port, DWORD* error);
    static QSerialPort::SerialPortError openError(DWORD code);
    // Codes of a read or write failing because the device went away.
    static bool deviceGone(DWORD code);

    static constexpr DWORD readTimeoutMs = 100;
};
