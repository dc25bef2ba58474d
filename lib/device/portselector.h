#pragma once

#include "ulvex_export.h"

#include <QList>
#include <QSerialPortInfo>
#include <QString>
#include <functional>
#include <optional>

// The rules that pick the device's serial port, kept apart from the system's
// port enumeration so they can be checked against any list of ports.
class ULVEX_EXPORT PortSelector {
public:
    struct Record {
        QString portName;
        int vendorId = 0;
        int productId = 0;
        QString manufacturer;
        QString serialNumber;
    };

    static Record fromInfo(const QSerialPortInfo& info);
    static QList<Record> fromInfos(const QList<QSerialPortInfo>& infos);

    // Index of the first port whose USB identifiers satisfy the predicate.
    static std::optional<qsizetype> firstMatching(const QList<Record>& ports,
                                                  const std::function<bool(int, int)>& supported);

    // Index of the last port whose manufacturer text equals the given one exactly.
    static std::optional<qsizetype> lastWithManufacturer(const QList<Record>& ports,
                                                         const QString& manufacturer);

    // A port named by the user (the environment), in the form this platform's
    // port list uses, so that it matches an enumerated port: as given on
    // Linux; on Windows as comPortName() puts it.
    static QString namedPort(const QString& value);
    // A Windows port name in its short form: blanks, a "\\.\" or "//./" prefix
    // and a DOS-style trailing ":" removed, "comN" in upper case ("COM12";
    // the serial port adds the device prefix itself when it opens it).
    static QString comPortName(const QString& value);
};
