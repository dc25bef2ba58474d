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
};
