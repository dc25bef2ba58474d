// The Win32 serial port layer: instance identifier parsing always; the port
// itself against a real line when ULVEX_TEST_SERIAL_PORT names a COM port
// whose far end echoes (echopeer.py under Wine).
#include "deviceidparser.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QSignalSpy>
#include <QTest>

class TestSerialPortWin : public QObject
{
    Q_OBJECT

private slots:
    void parseInstanceId_data();
    void parseInstanceId();
    void openMissingPort();
    void listsPort();
    void echo_data();
    void echo();
    void refusesSplitBaudRate();
    void hangUpIsReported();

private:
    static QString linePort();
    bool openLine(QSerialPort& port);
};

void TestSerialPortWin::parseInstanceId_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("vid"); // -1: none
    QTest::addColumn<int>("pid");
    QTest::addColumn<QString>("serial");

    QTest::newRow("usb") << "USB\\VID_0403&PID_6C18\\FT1ABCDE" << 0x0403 << 0x6c18 << "FT1ABCDE";
    QTest::newRow("usb lower hex") << "usb\\vid_10c4&pid_ea60\\0001" << 0x10c4 << 0xea60 << "0001";
    QTest::newRow("usb made-up serial") << "USB\\VID_2341&PID_0043\\6&2A3B4C5D&0&2" << 0x2341 << 0x43 << "";
    QTest::newRow("usb interface") << "USB\\VID_0403&PID_6010&MI_00\\7&1&0" << 0x0403 << 0x6010 << "";
    QTest::newRow("ftdibus") << "FTDIBUS\\VID_0403+PID_6C18+FT1ABCDEA\\0000" << 0x0403 << 0x6c18 << "FT1ABCDE";
    QTest::newRow("ftdibus port b") << "FTDIBUS\\VID_0403+PID_6011+FT9XYZB\\0000" << 0x0403 << 0x6011 << "FT9XYZB";
    QTest::newRow("no identity") << "ACPI\\PNP0501\\1" << -1 << -1 << "";
    QTest::newRow("empty") << "" << -1 << -1 << "";
    QTest::newRow("truncated vid") << "USB\\VID_04" << -1 << -1 << "";
    QTest::newRow("truncated pid") << "USB\\VID_0403&PID_6C" << 0x0403 << -1 << "";
    QTest::newRow("non-hex") << "USB\\VID_04G3&PID_60Z1\\X" << -1 << -1 << "";
    QTest::newRow("five digits") << "USB\\VID_04031&PID_6001\\X" << -1 << 0x6001 << "";
    QTest::newRow("hostile serial") << "USB\\VID_0403&PID_6001\\A B<script>" << 0x0403 << 0x6001 << "";
    QTest::newRow("extra parts") << "USB\\VID_0403&PID_6001\\SN\\MORE" << 0x0403 << 0x6001 << "";
    QTest::newRow("ftdibus short") << "FTDIBUS\\VID_0403+PID_6001\\0000" << 0x0403 << 0x6001 << "";
    QTest::newRow("overlong") << "USB\\VID_0403&PID_6001\\" + QString(600, u'S') << -1 << -1 << "";
    QTest::newRow("overlong serial") << "USB\\VID_0403&PID_6001\\" + QString(200, u'S') << 0x0403 << 0x6001 << "";
}

void TestSerialPortWin::parseInstanceId()
{
    QFETCH(QString, id);
    QFETCH(int, vid);
    QFETCH(int, pid);
    QFETCH(QString, serial);
    const DeviceIdentity identity = DeviceIdParser::parse(id);
    QCOMPARE(identity.hasVendorId, vid >= 0);
    QCOMPARE(identity.hasProductId, pid >= 0);
    if (vid >= 0)
        QCOMPARE(identity.vendorId, vid);
    if (pid >= 0)
        QCOMPARE(identity.productId, pid);
    QCOMPARE(identity.serialNumber, serial);
}

void TestSerialPortWin::openMissingPort()
{
    QSerialPort port(QStringLiteral("COM199"));
    QSignalSpy errors(&port, &QSerialPort::errorOccurred);
    QVERIFY(!port.open(QIODevice::ReadWrite));
    QCOMPARE(port.error(), QSerialPort::DeviceNotFoundError);
    QCOMPARE(errors.last().first().value<QSerialPort::SerialPortError>(), QSerialPort::DeviceNotFoundError);
    QVERIFY(!port.errorString().isEmpty());
    QVERIFY(!port.isOpen());
}

QString TestSerialPortWin::linePort()
{
    return qEnvironmentVariable("ULVEX_TEST_SERIAL_PORT");
}

bool TestSerialPortWin::openLine(QSerialPort& port)
{
    port.setPortName(linePort());
    port.setBaudRate(QSerialPort::Baud115200);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    return port.open(QIODevice::ReadWrite);
}

void TestSerialPortWin::listsPort()
{
    if (linePort().isEmpty())
        QSKIP("ULVEX_TEST_SERIAL_PORT not set");
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names << info.portName();
    QVERIFY2(names.contains(linePort(), Qt::CaseInsensitive), qPrintable(names.join(u',')));
    const QSerialPortInfo info(linePort());
    QCOMPARE(info.systemLocation(), "\\\\.\\" + info.portName());
    QVERIFY(!info.isNull());
}

void TestSerialPortWin::echo_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("blocking"); // waitForReadyRead rather than the event loop

    QTest::newRow("frame, signal") << 23 << false;
    QTest::newRow("frame, blocking") << 23 << true;
    QTest::newRow("one byte") << 1 << true;
    QTest::newRow("16 KiB, signal") << 16384 << false;
}

void TestSerialPortWin::echo()
{
    QFETCH(int, size);
    QFETCH(bool, blocking);
    if (linePort().isEmpty())
        QSKIP("ULVEX_TEST_SERIAL_PORT not set");
    QSerialPort port;
    QVERIFY2(openLine(port), qPrintable(port.errorString()));
    QByteArray sent(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        sent[i] = static_cast<char>((i * 7 + size) & 0xff);
    QSignalSpy written(&port, &QSerialPort::bytesWritten);
    QSignalSpy ready(&port, &QSerialPort::readyRead);
    QCOMPARE(port.write(sent), qint64(size));
    QVERIFY(port.waitForBytesWritten(1000));
    QCOMPARE(written.size(), 1);
    QCOMPARE(written.first().first().toLongLong(), qint64(size));

    QByteArray received;
    QDeadlineTimer deadline(10000);
    while (received.size() < size && !deadline.hasExpired()) {
        if (blocking)
            port.waitForReadyRead(1000);
        else
            ready.wait(1000);
        received += port.readAll();
    }
    QCOMPARE(received.size(), sent.size());
    QCOMPARE(received, sent);
    QVERIFY(!ready.isEmpty());
    QCOMPARE(port.bytesAvailable(), 0);
    QVERIFY(!port.waitForReadyRead(200));
    QCOMPARE(port.error(), QSerialPort::TimeoutError);
    port.close();
    QVERIFY(!port.isOpen());
}

void TestSerialPortWin::refusesSplitBaudRate()
{
    if (linePort().isEmpty())
        QSKIP("ULVEX_TEST_SERIAL_PORT not set");
    QSerialPort port;
    QVERIFY2(openLine(port), qPrintable(port.errorString()));
    QVERIFY(port.setBaudRate(QSerialPort::Baud9600));
    QCOMPARE(port.baudRate(), 9600);
    QVERIFY(!port.setBaudRate(QSerialPort::Baud57600, QSerialPort::Input));
    QCOMPARE(port.error(), QSerialPort::UnsupportedOperationError);
    QCOMPARE(port.baudRate(), 9600);
}

// Last: the peer ends on the hang-up request.
void TestSerialPortWin::hangUpIsReported()
{
    if (linePort().isEmpty())
        QSKIP("ULVEX_TEST_SERIAL_PORT not set");
    QSerialPort port;
    QVERIFY2(openLine(port), qPrintable(port.errorString()));
    QSignalSpy errors(&port, &QSerialPort::errorOccurred);
    port.write("\x04" "BYE");
    QVERIFY(port.waitForBytesWritten(1000));
    QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty(), 5000);
    const auto error = errors.first().first().value<QSerialPort::SerialPortError>();
    QVERIFY2(error == QSerialPort::ResourceError || error == QSerialPort::ReadError, qPrintable(port.errorString()));
    qInfo() << "hang-up:" << error << port.errorString().trimmed();
    QElapsedTimer closing;
    closing.start();
    port.close();
    QVERIFY(closing.elapsed() < 3000);
    qInfo() << "closed in" << closing.elapsed() << "ms";
}

QTEST_GUILESS_MAIN(TestSerialPortWin)
#include "tst_serialportwin.moc"
