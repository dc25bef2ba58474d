#pragma once

#include "device/v2device.h"

// Opens the receive state and the frame builder of V2Device to the tests.
class V2DeviceProbe : public V2Device {
public:
    using V2Device::V2Device;

    static QByteArray frame(COMMAND command);
    // A valid frame with any command or status byte and body.
    static QByteArray frameWith(quint8 command, const QByteArray& body = QByteArray(16, 'a'));

    static bool supported(int vendor, int product) { return isSupported(vendor, product); }

    void receive(const QByteArray& frame) { processFrame(frame); }
    // Makes the last counted frame lie the given time in the past.
    void setLastFrameAgo(int ms);

    bool isCalibrated() const { return calibrated; }
    bool isSensorRunning() const { return sensorRunning; }
    void setSensorRunning(bool on) { sensorRunning = on; }
    void setConnected(bool on) { connected = on; }
    // Stops listening to the port's error signal, as with a serial port
    // version that raises no error when the line hangs up.
    void ignorePortErrors() { QObject::disconnect(&port, &QSerialPort::errorOccurred, this, &V2DeviceProbe::error); }

    static unsigned slowFrames() { return slowFrameCount; }
    static void clearSlowFrames() { slowFrameCount = 0; }
};
