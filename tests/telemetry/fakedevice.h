#pragma once

#include "device/device.h"

// A device with no port behind it: every operation fails, and its serial
// number is the no-port placeholder.
class FakeDevice : public Device {
    Q_OBJECT
public:
    using Device::Device;
    bool open() override { return false; }
    bool reset() override { return false; }
    bool calibrateSensor() override { return false; }
    bool startSensor() override { return false; }
    bool stopSensor() override { return false; }
    bool readUID() override { return false; }

protected slots:
    void readyRead() override { }
};
