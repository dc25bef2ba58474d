#pragma once

#include "qserialportinfo.h"

// The serial ports the system knows: the ports device class (with USB
// identity) and the serial device map (ports without a device of that
// class, such as virtual ones).
class PortEnumerator
{
public:
    // Sorted by name, each name once.
    static QList<QSerialPortInfo> list();
    // "COM5" for "COM5", "\\.\COM5" or "\\?\COM5".
    static QString portNameOf(const QString& nameOrLocation);
    // "\\.\COM5" for "COM5"; a full location stays as it is.
    static QString systemLocationOf(const QString& nameOrLocation);

    static constexpr qsizetype maxNameLength = 64;

private:
    static void addDeviceClassPorts(QList<QSerialPortInfo>* ports);
    static void addDeviceMapPorts(QList<QSerialPortInfo>* ports);
    static bool plausibleName(const QString& name);
};
