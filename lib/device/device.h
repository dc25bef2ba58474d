#pragma once

#include "protocol/packet.h"
#include "ulvex_export.h"

#include <QObject>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QString>
#include <QTimer>
#include <expected>
#include <memory>
#include <spdlog/logger.h>

// The measuring device as the rest of the backend drives it. Lives on the
// session thread that created it; every operation and slot runs there.
class ULVEX_EXPORT Device : public QObject {
    Q_OBJECT
public:
    explicit Device(QObject* parent = nullptr);
    ~Device() override;

    virtual bool open() = 0;
    virtual std::expected<bool, status_codes> initialize();
    virtual bool reset() = 0;
    virtual bool calibrateSensor() = 0;
    virtual bool startSensor() = 0;
    virtual bool stopSensor() = 0;
    virtual bool readUID() = 0;

    bool isConnected() const { return connected; }
    bool isInitialized() const { return initialized; }
    bool isMeasurementCorrect() const { return measurementCorrect; }
    // Serial number of the selected port, or ten zeros while none is selected.
    QString serialNumber() const;

    // A data frame's correctness holds only while frames keep coming: with
    // no data frame for longer than this, the device does not measure
    // correctly until the next one arrives.
    static constexpr int dataSilenceMs = 1000;

signals:
    void interrupted(QSerialPort::SerialPortError error);
    void calibrated();
    void sensor_started(bool started);
    void sensor_stopped(bool stopped);
    void uidUpdated(QString uid);

protected slots:
    virtual void readyRead() = 0;
    void error(QSerialPort::SerialPortError error);

protected:
    // Connects the opened port's readyRead and errorOccurred to this device.
    // A connection that already exists is not made twice, so a device that is
    // opened again still reports each port event once.
    void wirePort();

    // True when a port error means the device has gone away (unplugged, or
    // the other end of the line hung up) rather than a passing fault.
    bool isDeviceGone(QSerialPort::SerialPortError error);
    // True when the open port's line has hung up (the other end is gone).
    bool lineHungUp();
    // Marks the device as gone, reports it once and closes the port.
    void reportGone(QSerialPort::SerialPortError error);

    // Every data frame goes through here with the correctness it reports.
    void noteDataFrame(bool correct);
    // The sensor stopped (or the line went): nothing is being measured.
    void endDataFrames();

    std::shared_ptr<spdlog::logger> logger;
    QSerialPort port;
    QSerialPortInfo portInfo;
    bool connected = false;
    bool initialized = false;
    bool measurementCorrect = false;
    // Set once a lost device has been reported; cleared when the port opens again.
    bool gone = false;

private:
    void onDataSilence();

    QTimer dataSilence;
    bool silent = false;

    // Some serial port versions (Qt 6.8) treat the endless empty reads of a
    // hung-up line as "no data" and raise no error, so the line is also
    // checked on a timer while the port is open.
    QTimer hangupWatch{this};
};
