#pragma once

#include "device/device.h"

// A device whose answers the test decides.
class FakeDevice : public Device {
    Q_OBJECT
public:
    bool calibrateResult = true;
    bool startResult = true;
    int calibrateCalls = 0;
    int startCalls = 0;
    int stopCalls = 0;

    void setCorrect(bool correct) { measurementCorrect = correct; }

    bool open() override { return connected = true; }
    bool reset() override { return connected = true; }
    bool calibrateSensor() override { ++calibrateCalls; return calibrateResult; }
    bool startSensor() override { ++startCalls; return startResult; }
    bool stopSensor() override { ++stopCalls; return true; }
    bool readUID() override { return true; }

protected slots:
    void readyRead() override {}
};
