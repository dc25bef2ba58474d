#pragma once

#include "device/ftdidevice.h"

// Lets a test point the FTDI device at any port and feed its slot directly.
class FTDIDeviceProbe : public FTDIDevice {
public:
    using FTDIDevice::FTDIDevice;

    void usePort(const QString& name) { port.setPortName(name); }
    void deliver() { readyRead(); }
    void setMeasurementCorrect(bool on) { measurementCorrect = on; }
};
