#include "commsettings.h"

bool CommSettings::apply(HANDLE port, DWORD* error) const
{
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!::GetCommState(port, &dcb)) {
        *error = ::GetLastError();
        return false;
    }
    dcb.BaudRate = static_cast<DWORD>(baudRate);
    dcb.ByteSize = static_cast<BYTE>(dataBits);
    dcb.fBinary = TRUE;
    dcb.fAbortOnError = FALSE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fDsrSensitivity = FALSE;
    switch (parity) {
    case QSerialPort::EvenParity: dcb.Parity = EVENPARITY; break;
    case QSerialPort::OddParity: dcb.Parity = ODDPARITY; break;
    case QSerialPort::SpaceParity: dcb.Parity = SPACEPARITY; break;
    case QSerialPort::MarkParity: dcb.Parity = MARKPARITY; break;
    default: dcb.Parity = NOPARITY; break;
    }
    dcb.fParity = parity == QSerialPort::NoParity ? FALSE : TRUE;
    switch (stopBits) {
    case QSerialPort::OneAndHalfStop: dcb.StopBits = ONE5STOPBITS; break;
    case QSerialPort::TwoStop: dcb.StopBits = TWOSTOPBITS; break;
    default: dcb.StopBits = ONESTOPBIT; break;
    }
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    if (flowControl == QSerialPort::HardwareControl) {
        dcb.fOutxCtsFlow = TRUE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    } else if (flowControl == QSerialPort::SoftwareControl) {
        dcb.fOutX = TRUE;
        dcb.fInX = TRUE;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
    }
    if (!::SetCommState(port, &dcb)) {
        *error = ::GetLastError();
        return false;
    }
    return true;
}

bool CommSettings::applyTimeouts(HANDLE port, DWORD* error)
{
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = readTimeoutMs;
    if (!::SetCommTimeouts(port, &timeouts)) {
        *error = ::GetLastError();
        return false;
    }
    return true;
}

QSerialPort::SerialPortError CommSettings::openError(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return QSerialPort::DeviceNotFoundError;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return QSerialPort::PermissionError;
    default:
        return QSerialPort::OpenError;
    }
}

bool CommSettings::deviceGone(DWORD code)
{
    switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_GEN_FAILURE:
    case ERROR_INVALID_HANDLE:
    case ERROR_BROKEN_PIPE:
    case ERROR_HANDLE_EOF:
    case ERROR_NOT_READY:
        return true;
    default:
        return false;
    }
}
