#include "device/ftdidevice.h"

FTDIDevice::FTDIDevice(QObject* parent)
    : Device(parent)
{
}

std::optional<qsizetype> FTDIDevice::selectPort(const QList<PortSelector::Record>& ports)
{
    return PortSelector::lastWithManufacturer(ports, QStringLiteral("FTDI"));
}

bool FTDIDevice::reset()
{
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    if (const auto index = selectPort(PortSelector::fromInfos(infos)))
        portInfo = infos.at(*index);

    if (port.isOpen())
        port.close();
    port.setPort(portInfo);
    port.setBaudRate(QSerialPort::Baud9600, QSerialPort::AllDirections);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);

    connected = port.open(QIODevice::ReadOnly);
    if (connected)
        wirePort();
    return connected;
}

bool FTDIDevice::open()
{
    connected = port.open(QIODevice::ReadOnly);
    if (connected)
        wirePort();
    return connected;
}

void FTDIDevice::readyRead()
{
    const QByteArray bytes = port.readAll();
    // Nothing read says nothing about the measurement; keep the last answer.
    if (bytes.isEmpty())
        return;
    noteDataFrame((static_cast<quint8>(bytes.at(0)) & 0x02) != 0);
}

bool FTDIDevice::calibrateSensor()
{
    return false;
}

bool FTDIDevice::startSensor()
{
    return false;
}

bool FTDIDevice::stopSensor()
{
    return false;
}

bool FTDIDevice::readUID()
{
    return false;
}
