#pragma once

#include "device/device.h"
#include "device/portselector.h"
#include "ulvex_export.h"

#include <optional>

// A read-only device that only reports whether it measures correctly, found
// by the manufacturer text of its port.
class ULVEX_EXPORT FTDIDevice : public Device {
    Q_OBJECT
public:
    explicit FTDIDevice(QObject* parent = nullptr);

    bool open() override;
    bool reset() override;
    bool calibrateSensor() override;
    bool startSensor() override;
    bool stopSensor() override;
    bool readUID() override;

    // Index of the port this device takes from the list: the last one whose
    // manufacturer is exactly "FTDI".
    static std::optional<qsizetype> selectPort(const QList<PortSelector::Record>& ports);

protected slots:
    void readyRead() override;
};
