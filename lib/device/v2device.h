#pragma once

#include "device/device.h"
#include "device/frameassembler.h"
#include "device/portselector.h"
#include "ulvex_export.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <map>
#include <optional>

// Command letters of the device's frame protocol.
enum class COMMAND : quint8 {
    CALIBRATE = 0x43,
    READ_UID = 0x52,
    START_SENSOR = 0x58,
    STOP_SENSOR = 0x59,
    COMMAND_W = 0x57,
};

// The analyzer that speaks 23-byte frames at 115200 baud. Every command is
// re-sent until the received state shows it took effect or ten seconds pass.
class ULVEX_EXPORT V2Device : public Device {
    Q_OBJECT
public:
    explicit V2Device(QObject* parent = nullptr);

    bool open() override;
    std::expected<bool, status_codes> initialize() override;
    bool reset() override;
    bool calibrateSensor() override;
    bool startSensor() override;
    bool stopSensor() override;
    bool readUID() override;

    QString UID() const;
    static QString version();
    bool findSerialPortInfo();
    static bool checkFrame(const QByteArray& bytes);

    // Index of the port this device takes from the list: the first one with
    // the device's USB identifiers.
    static std::optional<qsizetype> selectPort(const QList<PortSelector::Record>& ports);

    // Names a serial device to use instead of searching by USB identifiers.
    static constexpr const char* portVariable = "ULVEX_DEVICE_PORT";

protected:
    static bool isSupported(int vendorId, int productId);
    bool foolProofSending(COMMAND command, const std::function<bool()>& completed, const int& waitMs);
    static void waitForResponse(const int& ms);
    void processFrame(const QByteArray& frame);

    // Time in ticks of 100 ns, the unit every frame time is kept in.
    static qint64 currentTicks();

    QString uid = QStringLiteral("0");
    bool calibrated = false;
    bool sensorRunning = false;
    qint64 lastFrameTicks = 0;
    std::map<quint8, std::function<void(const QByteArray&)>> responseHandlers;
    std::map<COMMAND, std::function<bool()>> senders;
    // Port named by the environment; empty when the device is searched for.
    QString overridePortName;
    // Reads are not frames; whole frames are taken from here.
    FrameAssembler assembler;

    // Frames that arrived slowly while no stream was recognised, across every
    // device of the process; the third one means the sensor streams.
    static std::atomic<unsigned> slowFrameCount;

protected slots:
    void readyRead() override;

private:
    friend class V2DeviceProbe;

    static QByteArray createFrame(COMMAND command);
    void waitForBytesWritten();
    void configurePort();
    void onCalibrationResponse(const QByteArray& frame);
    void onUidResponse(const QByteArray& frame);
};
