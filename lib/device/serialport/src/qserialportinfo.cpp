#include "qserialportinfo.h"

#include "portenumerator.h"
#include "qserialport.h"

QSerialPortInfo::QSerialPortInfo() = default;

QSerialPortInfo::QSerialPortInfo(const QSerialPort& port) : QSerialPortInfo(port.portName())
{
}

// What the system lists under that name, or the bare name for a port it does
// not list (it may still open).
QSerialPortInfo::QSerialPortInfo(const QString& portName)
{
    if (portName.isEmpty())
        return;
    const QString wanted = PortEnumerator::portNameOf(portName);
    for (const QSerialPortInfo& info : availablePorts()) {
        if (info.name.compare(wanted, Qt::CaseInsensitive) == 0) {
            *this = info;
            return;
        }
    }
    name = wanted;
}

QString QSerialPortInfo::portName() const
{
    return name;
}

QString QSerialPortInfo::systemLocation() const
{
    return PortEnumerator::systemLocationOf(name);
}

QString QSerialPortInfo::description() const
{
    return descriptionText;
}

QString QSerialPortInfo::manufacturer() const
{
    return manufacturerText;
}

QString QSerialPortInfo::serialNumber() const
{
    return serial;
}

quint16 QSerialPortInfo::vendorIdentifier() const
{
    return vendorId;
}

quint16 QSerialPortInfo::productIdentifier() const
{
    return productId;
}

bool QSerialPortInfo::hasVendorIdentifier() const
{
    return hasVendorId;
}

bool QSerialPortInfo::hasProductIdentifier() const
{
    return hasProductId;
}

bool QSerialPortInfo::isNull() const
{
    return name.isEmpty();
}

QList<QSerialPortInfo> QSerialPortInfo::availablePorts()
{
    return PortEnumerator::list();
}
