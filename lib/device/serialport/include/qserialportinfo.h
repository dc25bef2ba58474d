#pragma once

#include "qserialportglobal.h"

#include <QList>
#include <QString>

class QSerialPort;
class PortEnumerator;

// What the system knows of one serial port, with the interface of Qt Serial
// Port's class of the same name.
class Q_SERIALPORT_EXPORT QSerialPortInfo
{
public:
    QSerialPortInfo();
    explicit QSerialPortInfo(const QSerialPort& port);
    explicit QSerialPortInfo(const QString& name);

    QString portName() const;
    QString systemLocation() const;
    QString description() const;
    QString manufacturer() const;
    QString serialNumber() const;
    quint16 vendorIdentifier() const;
    quint16 productIdentifier() const;
    bool hasVendorIdentifier() const;
    bool hasProductIdentifier() const;
    bool isNull() const;

    static QList<QSerialPortInfo> availablePorts();

private:
    friend class PortEnumerator;

    QString name;
    QString descriptionText;
    QString manufacturerText;
    QString serial;
    quint16 vendorId = 0;
    quint16 productId = 0;
    bool hasVendorId = false;
    bool hasProductId = false;
};
