#include "device/portselector.h"

#include <QRegularExpression>

PortSelector::Record PortSelector::fromInfo(const QSerialPortInfo& info)
{
    Record record;
    record.portName = info.portName();
    // Ports without USB identifiers report 0, which no device rule accepts.
    record.vendorId = info.hasVendorIdentifier() ? info.vendorIdentifier() : 0;
    record.productId = info.hasProductIdentifier() ? info.productIdentifier() : 0;
    record.manufacturer = info.manufacturer();
    record.serialNumber = info.serialNumber();
    return record;
}

QList<PortSelector::Record> PortSelector::fromInfos(const QList<QSerialPortInfo>& infos)
{
    QList<Record> records;
    records.reserve(infos.size());
    for (const QSerialPortInfo& info : infos)
        records.append(fromInfo(info));
    return records;
}

std::optional<qsizetype> PortSelector::firstMatching(const QList<Record>& ports,
                                                     const std::function<bool(int, int)>& supported)
{
    for (qsizetype i = 0; i < ports.size(); ++i) {
        if (supported(ports[i].vendorId, ports[i].productId))
            return i;
    }
    return std::nullopt;
}

std::optional<qsizetype> PortSelector::lastWithManufacturer(const QList<Record>& ports,
                                                            const QString& manufacturer)
{
    std::optional<qsizetype> found;
    for (qsizetype i = 0; i < ports.size(); ++i) {
        if (ports[i].manufacturer.compare(manufacturer, Qt::CaseSensitive) == 0)
            found = i;
    }
    return found;
}

QString PortSelector::comPortName(const QString& value)
{
    static const QRegularExpression comN(QStringLiteral("^com([0-9]+)$"), QRegularExpression::CaseInsensitiveOption);
    QString name = value.trimmed();
    if (name.startsWith(QLatin1String("\\\\.\\")) || name.startsWith(QLatin1String("//./")))
        name.remove(0, 4);
    if (name.endsWith(QLatin1Char(':')))
        name.chop(1);
    const QRegularExpressionMatch match = comN.match(name);
    if (match.hasMatch())
        name = QStringLiteral("COM") + match.captured(1);
    return name;
}
