#pragma once

#include "device/device.h"

#include <QEventLoop>
#include <QTimer>
#include <atomic>

// The session's device in in-process tests: answers as the test decides,
// each operation taking `operationMs` in a nested event loop the way the
// serial device's waits do. Lives on the session thread; the test changes it
// through the atomics or with a queued call.
class TestDevice : public Device {
    Q_OBJECT
public:
    std::atomic_bool present{true};
    std::atomic_bool calibrates{true};
    std::atomic_bool startsSensor{true};
    std::atomic_bool correct{true};
    std::atomic_int resetMs{0};
    std::atomic_int operationMs{0};
    std::atomic_int calibrateCalls{0};
    std::atomic_int stopCalls{0};
    // Initialise as a device without an initialize of its own does.
    std::atomic_bool plainInitialize{false};

    bool open() override { return connected = present; }
    bool reset() override
    {
        pause(resetMs);
        connected = present.load();
        if (connected)
            emit uidUpdated(QStringLiteral("TEST0001"));
        return connected;
    }
    std::expected<bool, status_codes> initialize() override
    {
        if (plainInitialize)
            return Device::initialize();
        if (!connected && !reset())
            return std::unexpected(status_codes::device_not_connected);
        initialized = true;
        return true;
    }
    bool calibrateSensor() override
    {
        ++calibrateCalls;
        pause(operationMs);
        return calibrates && connected;
    }
    bool startSensor() override
    {
        pause(operationMs);
        measurementCorrect = correct;
        return startsSensor && connected;
    }
    bool stopSensor() override
    {
        ++stopCalls;
        pause(operationMs);
        measurementCorrect = false;
        return true;
    }
    bool readUID() override { return connected; }
    // The line went: reported once, as the serial device does.
    void unplug()
    {
        connected = false;
        measurementCorrect = false;
        emit interrupted(QSerialPort::ResourceError);
    }
    void setCorrect(bool value)
    {
        correct = value;
        measurementCorrect = value;
    }

protected slots:
    void readyRead() override {}

private:
    static void pause(int ms)
    {
        if (ms <= 0)
            return;
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
};
