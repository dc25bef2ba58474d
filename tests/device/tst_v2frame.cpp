#include "config/settings.h"
#include "logcapture.h"
#include "v2deviceprobe.h"

#include <QTest>

Q_DECLARE_METATYPE(COMMAND)

class TestV2Frame : public QObject {
    Q_OBJECT
private slots:
    void createFrame_data();
    void createFrame();
    void fillerStaysInRange();
    void checkFrame_data();
    void checkFrame();
    void isSupported_data();
    void isSupported();
    void versionIsEditionKey();
};

namespace {
quint8 sumOf(const QByteArray& frame)
{
    quint8 sum = 0;
    for (int i = 2; i <= 18; ++i)
        sum = static_cast<quint8>(sum + static_cast<quint8>(frame.at(i)));
    return sum;
}

QByteArray validFrame()
{
    return V2DeviceProbe::frameWith('C');
}

QByteArray withByte(QByteArray frame, int index, quint8 value)
{
    frame[index] = static_cast<char>(value);
    return frame;
}
} // namespace

void TestV2Frame::createFrame_data()
{
    QTest::addColumn<COMMAND>("command");
    QTest::addColumn<quint8>("letter");
    QTest::newRow("calibrate") << COMMAND::CALIBRATE << quint8('C');
    QTest::newRow("read uid") << COMMAND::READ_UID << quint8('R');
    QTest::newRow("start") << COMMAND::START_SENSOR << quint8('X');
    QTest::newRow("stop") << COMMAND::STOP_SENSOR << quint8('Y');
    QTest::newRow("w") << COMMAND::COMMAND_W << quint8('W');
}

void TestV2Frame::createFrame()
{
    QFETCH(COMMAND, command);
    QFETCH(quint8, letter);
    const QByteArray frame = V2DeviceProbe::frame(command);
    QCOMPARE(frame.size(), 23);
    QCOMPARE(quint8(frame.at(0)), quint8(0x2A));
    QCOMPARE(quint8(frame.at(1)), quint8(0x2F));
    QCOMPARE(quint8(frame.at(2)), letter);
    for (int i = 3; i <= 18; ++i) {
        const auto body = quint8(frame.at(i));
        QVERIFY2(body >= 1 && body <= 254, qPrintable(QStringLiteral("body byte %1 = %2").arg(i).arg(body)));
    }
    QCOMPARE(quint8(frame.at(19)), sumOf(frame));
    QCOMPARE(frame.right(3), QByteArray("\x23\x0A\x0D", 3));
    QVERIFY(V2Device::checkFrame(frame));
}

void TestV2Frame::fillerStaysInRange()
{
    // Many frames, so both ends of the filler range show up.
    quint8 lowest = 255;
    quint8 highest = 0;
    for (int n = 0; n < 4000; ++n) {
        const QByteArray frame = V2DeviceProbe::frame(COMMAND::READ_UID);
        for (int i = 3; i <= 18; ++i) {
            const auto body = quint8(frame.at(i));
            lowest = std::min(lowest, body);
            highest = std::max(highest, body);
        }
    }
    QVERIFY(lowest >= 1);
    QVERIFY(highest <= 254);
    QCOMPARE(lowest, quint8(1));
    QCOMPARE(highest, quint8(254));
}

void TestV2Frame::checkFrame_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    const QByteArray good = validFrame();
    QTest::newRow("valid") << good << true;
    QTest::newRow("built by the device") << V2DeviceProbe::frame(COMMAND::STOP_SENSOR) << true;
    QTest::newRow("checksum + 1") << withByte(good, 19, quint8(good.at(19)) + 1) << false;
    QTest::newRow("checksum - 1") << withByte(good, 19, quint8(good.at(19)) - 1) << false;
    QTest::newRow("body changed") << withByte(good, 10, quint8(good.at(10)) + 1) << false;
    QTest::newRow("22 bytes") << good.left(22) << false;
    QTest::newRow("24 bytes") << good + QByteArray(1, '\r') << false;
    QTest::newRow("two frames, 46 bytes") << good + good << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("first marker") << withByte(good, 0, '+') << false;
    QTest::newRow("second marker") << withByte(good, 1, '\\') << false;
    QTest::newRow("hash missing") << withByte(good, 20, '$') << false;
    QTest::newRow("trailer swapped") << withByte(withByte(good, 21, 0x0D), 22, 0x0A) << false;
    QTest::newRow("zero body bytes") << V2DeviceProbe::frameWith('C', QByteArray(16, '\0')) << true;
    QTest::newRow("status byte data frame") << V2DeviceProbe::frameWith(0x01) << true;
}

void TestV2Frame::checkFrame()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QCOMPARE(V2Device::checkFrame(bytes), valid);
}

void TestV2Frame::isSupported_data()
{
    QTest::addColumn<int>("vendor");
    QTest::addColumn<int>("product");
    QTest::addColumn<bool>("supported");
    QTest::newRow("the analyzer") << 1027 << 27672 << true;
    QTest::newRow("hex spelling") << 0x0403 << 0x6C18 << true;
    QTest::newRow("swapped") << 27672 << 1027 << false;
    QTest::newRow("product 0") << 1027 << 0 << false;
    QTest::newRow("other ftdi product") << 0x0403 << 0x6001 << false;
    QTest::newRow("nothing") << 0 << 0 << false;
}

void TestV2Frame::isSupported()
{
    QFETCH(int, vendor);
    QFETCH(int, product);
    QFETCH(bool, supported);
    QCOMPARE(V2DeviceProbe::supported(vendor, product), supported);
}

void TestV2Frame::versionIsEditionKey()
{
    QCOMPARE(V2Device::version(), Settings::instance().key());
    QVERIFY(!V2Device::version().isEmpty());
}

QTEST_GUILESS_MAIN(TestV2Frame)
#include "tst_v2frame.moc"
