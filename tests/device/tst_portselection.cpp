#include "../../tools/simulator/pseudoterminal.h"
#include "eventwait.h"
#include "ftdideviceprobe.h"
#include "logcapture.h"
#include "v2deviceprobe.h"

#include <QSerialPortInfo>
#include <QSignalSpy>
#include <QTest>

using Ports = QList<PortSelector::Record>;
Q_DECLARE_METATYPE(Ports)

class TestPortSelection : public QObject {
    Q_OBJECT
private slots:
    void v2Selection_data();
    void v2Selection();
    void ftdiSelection_data();
    void ftdiSelection();
    void recordFromInfo();
    void namedPort_data();
    void namedPort();
    void serialNumberWithoutPort();
    void ftdiReadsCorrectnessBit();
    void v2DeviceNotFound();

private:
    LogCapture log;
};

namespace {
PortSelector::Record port(const char* name, int vendor, int product, const char* maker = "", const char* serial = "")
{
    return {QString::fromLatin1(name), vendor, product, QString::fromLatin1(maker), QString::fromLatin1(serial)};
}
constexpr int noMatch = -1;
} // namespace

void TestPortSelection::v2Selection_data()
{
    QTest::addColumn<Ports>("ports");
    QTest::addColumn<int>("selected");
    QTest::newRow("no ports") << Ports{} << noMatch;
    QTest::newRow("only match") << Ports{port("ttyUSB0", 0x0403, 0x6C18)} << 0;
    QTest::newRow("two matching: first wins")
        << Ports{port("ttyS0", 0, 0), port("ttyUSB1", 0x0403, 0x6C18), port("ttyUSB0", 0x0403, 0x6C18)} << 1;
    QTest::newRow("other product never") << Ports{port("ttyUSB0", 0x0403, 0x6001), port("ttyUSB1", 0x0403, 0x6015)}
                                         << noMatch;
    QTest::newRow("other product skipped") << Ports{port("ttyUSB0", 0x0403, 0x6001), port("ttyUSB1", 0x0403, 0x6C18)}
                                           << 1;
    QTest::newRow("swapped ids") << Ports{port("ttyUSB0", 0x6C18, 0x0403)} << noMatch;
    QTest::newRow("manufacturer irrelevant") << Ports{port("ttyUSB0", 0x0403, 0x6C18, "Someone")} << 0;
}

void TestPortSelection::v2Selection()
{
    QFETCH(Ports, ports);
    QFETCH(int, selected);
    const auto index = V2Device::selectPort(ports);
    QCOMPARE(index.has_value() ? int(*index) : noMatch, selected);
}

// A port named in the environment is matched against the system's list by
// its short name; on Windows the serial port adds the device prefix itself.
void TestPortSelection::namedPort_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("windows");
    QTest::newRow("COM5") << "COM5" << "COM5";
    QTest::newRow("two digits, lower case") << "com12" << "COM12";
    QTest::newRow("device prefix") << "\\\\.\\COM12" << "COM12";
    QTest::newRow("slash prefix") << "//./COM3" << "COM3";
    QTest::newRow("blanks and DOS colon") << " Com7: " << "COM7";
    QTest::newRow("other device kept") << "CNCA0" << "CNCA0";
    QTest::newRow("not a number") << "COMx" << "COMx";
    QTest::newRow("Linux path untouched") << "/dev/ttyUSB0" << "/dev/ttyUSB0";
    QTest::newRow("empty") << "" << "";
}

void TestPortSelection::namedPort()
{
    QFETCH(QString, value);
    QFETCH(QString, windows);
    QCOMPARE(PortSelector::comPortName(value), windows);
#if defined(Q_OS_WIN)
    QCOMPARE(PortSelector::namedPort(value), windows);
#else
    QCOMPARE(PortSelector::namedPort(value), value);
#endif
}

void TestPortSelection::ftdiSelection_data()
{
    QTest::addColumn<Ports>("ports");
    QTest::addColumn<int>("selected");
    QTest::newRow("no ports") << Ports{} << noMatch;
    QTest::newRow("exact FTDI") << Ports{port("ttyUSB0", 0x0403, 0x6001, "FTDI")} << 0;
    QTest::newRow("lower case not selected") << Ports{port("ttyUSB0", 0x0403, 0x6001, "ftdi")} << noMatch;
    QTest::newRow("longer text not selected") << Ports{port("ttyUSB0", 0x0403, 0x6001, "FTDI Ltd")} << noMatch;
    QTest::newRow("last match wins")
        << Ports{port("ttyUSB0", 0, 0, "FTDI"), port("ttyUSB1", 0, 0, "ftdi"), port("ttyUSB2", 0, 0, "FTDI"),
                 port("ttyS0", 0, 0, "")}
        << 2;
    QTest::newRow("ids irrelevant") << Ports{port("ttyUSB0", 0x0403, 0x6C18, "Prolific")} << noMatch;
}

void TestPortSelection::ftdiSelection()
{
    QFETCH(Ports, ports);
    QFETCH(int, selected);
    const auto index = FTDIDevice::selectPort(ports);
    QCOMPARE(index.has_value() ? int(*index) : noMatch, selected);
}

void TestPortSelection::recordFromInfo()
{
    // Whatever this machine has: every record mirrors its info.
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    const Ports records = PortSelector::fromInfos(infos);
    QCOMPARE(records.size(), infos.size());
    for (qsizetype i = 0; i < infos.size(); ++i) {
        QCOMPARE(records[i].portName, infos[i].portName());
        QCOMPARE(records[i].manufacturer, infos[i].manufacturer());
        QCOMPARE(records[i].vendorId, infos[i].hasVendorIdentifier() ? int(infos[i].vendorIdentifier()) : 0);
    }
    const PortSelector::Record empty = PortSelector::fromInfo(QSerialPortInfo());
    QVERIFY(empty.portName.isEmpty());
    QCOMPARE(empty.vendorId, 0);
    QCOMPARE(empty.productId, 0);
}

void TestPortSelection::serialNumberWithoutPort()
{
    V2Device v2;
    FTDIDevice ftdi;
    QCOMPARE(v2.serialNumber(), QStringLiteral("0000000000"));
    QCOMPARE(ftdi.serialNumber(), QStringLiteral("0000000000"));
}

void TestPortSelection::ftdiReadsCorrectnessBit()
{
    PseudoTerminal terminal;
    QVERIFY2(terminal.open(), qPrintable(terminal.errorString()));
    FTDIDeviceProbe device;
    device.usePort(terminal.slavePath());
    QVERIFY(device.open());
    QVERIFY(device.isConnected());

    const auto feed = [&](const QByteArray& bytes) {
        QVERIFY(terminal.write(bytes));
        // The bytes arrive in one read well within this time.
        waitInEventLoop(100);
    };
    feed(QByteArray("\x02", 1));
    QVERIFY(device.isMeasurementCorrect());
    feed(QByteArray("\x01\x02", 2));
    QVERIFY(!device.isMeasurementCorrect());
    feed(QByteArray("\xFF", 1));
    QVERIFY(device.isMeasurementCorrect());

    // Nothing to read: the last answer stands, whichever it was.
    device.deliver();
    QVERIFY(device.isMeasurementCorrect());
    device.setMeasurementCorrect(false);
    device.deliver();
    QVERIFY(!device.isMeasurementCorrect());

    QVERIFY(!device.calibrateSensor());
    QVERIFY(!device.startSensor());
    QVERIFY(!device.stopSensor());
    QVERIFY(!device.readUID());
}

void TestPortSelection::v2DeviceNotFound()
{
    // No port override and (on a build machine) no analyzer plugged in.
    qunsetenv(V2Device::portVariable);
    const bool analyzerPresent = V2Device::selectPort(PortSelector::fromInfos(QSerialPortInfo::availablePorts())).has_value();
    if (analyzerPresent)
        QSKIP("an analyzer is plugged into this machine");
    V2Device device;
    log.clear();
    QVERIFY(!device.findSerialPortInfo());
    QVERIFY(!device.reset());
    QVERIFY(!device.isConnected());
    QVERIFY(log.contains(QStringLiteral("Device not found.")));
    const auto result = device.initialize();
    QVERIFY(!result.has_value());
    QCOMPARE(result.error(), status_codes::device_not_connected);
    QVERIFY(!device.isInitialized());
}

QTEST_GUILESS_MAIN(TestPortSelection)
#include "tst_portselection.moc"
