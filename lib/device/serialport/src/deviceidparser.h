#pragma once

#include <QString>
#include <QStringView>

// The USB identity a device instance identifier carries, e.g.
// "USB\VID_0403&PID_6C18\FT1ABCDE" or FTDI's "FTDIBUS\VID_0403+PID_6C18+FT1ABCDEA\0000".
struct DeviceIdentity
{
    quint16 vendorId = 0;
    quint16 productId = 0;
    bool hasVendorId = false;
    bool hasProductId = false;
    QString serialNumber;
};

// Reads an instance identifier as the system (or a driver) reports it:
// anything not in the expected shape yields no identity rather than a guess.
class DeviceIdParser
{
public:
    // Longer identifiers are not real ones; nothing is read from them.
    static constexpr qsizetype maxLength = 512;
    static constexpr qsizetype maxSerialLength = 128;

    static DeviceIdentity parse(QStringView instanceId);

private:
    static bool hexField(QStringView id, QStringView tag, quint16* value);
    static QString serialFrom(QStringView id);
    static bool plausibleSerial(QStringView serial);
};
