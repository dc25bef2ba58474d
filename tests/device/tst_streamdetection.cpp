#include "logcapture.h"
#include "v2deviceprobe.h"

#include <QSignalSpy>
#include <QTest>

// One received frame: its command or status byte and how long after the last
// counted frame it arrives.
struct Arrival {
    quint8 command;
    int msAfterLast;
};
using Arrivals = QList<Arrival>;
Q_DECLARE_METATYPE(Arrivals)

class TestStreamDetection : public QObject {
    Q_OBJECT
private slots:
    void init();
    void commandPhase_data();
    void commandPhase();
    void streamingPhase_data();
    void streamingPhase();
    void uidResponse();
    void slowFramesCarryAcrossDevices();
    void operationsNeedConnection();

private:
    std::unique_ptr<LogCapture> log;
};

void TestStreamDetection::init()
{
    log = std::make_unique<LogCapture>();
    V2DeviceProbe::clearSlowFrames();
}

void TestStreamDetection::commandPhase_data()
{
    QTest::addColumn<Arrivals>("arrivals");
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("calibratedSignals");
    QTest::addColumn<unsigned>("slowFramesLeft");
    QTest::addColumn<bool>("correct");

    QTest::newRow("one response") << Arrivals{{'C', 150}} << false << 1 << 1u << false;
    QTest::newRow("two slow frames") << Arrivals{{0x01, 150}, {0x01, 150}} << false << 0 << 2u << false;
    QTest::newRow("three slow frames stream") << Arrivals{{0x01, 150}, {0x00, 150}, {0x01, 150}} << true << 0 << 0u
                                              << true;
    QTest::newRow("third slow frame is data 0") << Arrivals{{0x01, 150}, {0x01, 150}, {0x00, 150}} << true << 0 << 0u
                                                << false;
    QTest::newRow("C as third slow frame") << Arrivals{{0x01, 150}, {0x01, 150}, {'C', 150}} << true << 0 << 0u
                                           // 'C' is 0x43: bit 0 set, read as a data frame.
                                           << true;
    QTest::newRow("C responses count too") << Arrivals{{'C', 150}, {'C', 150}, {'C', 150}} << true << 2 << 0u << true;
    QTest::newRow("fast frames never count")
        << Arrivals{{0x01, 50}, {0x01, 50}, {0x01, 50}, {0x01, 50}, {0x01, 99}, {0x01, 0}, {0x01, 95}} << false << 0
        << 0u << false;
    QTest::newRow("fast responses still handled") << Arrivals{{'C', 20}, {'C', 30}, {'C', 40}, {'C', 50}} << false
                                                  << 4 << 0u << false;
    QTest::newRow("slow and fast mixed") << Arrivals{{0x01, 150}, {0x01, 10}, {0x01, 90}, {0x01, 101}} << false << 0
                                         << 2u << false;
    QTest::newRow("unknown command ignored") << Arrivals{{'Q', 150}, {'W', 150}} << false << 0 << 2u << false;
}

void TestStreamDetection::commandPhase()
{
    QFETCH(Arrivals, arrivals);
    QFETCH(bool, running);
    QFETCH(int, calibratedSignals);
    QFETCH(unsigned, slowFramesLeft);
    QFETCH(bool, correct);

    V2DeviceProbe device;
    QSignalSpy calibrated(&device, &Device::calibrated);
    for (const Arrival& arrival : arrivals) {
        device.setLastFrameAgo(arrival.msAfterLast);
        device.receive(V2DeviceProbe::frameWith(arrival.command));
    }
    QCOMPARE(device.isSensorRunning(), running);
    QCOMPARE(calibrated.count(), calibratedSignals);
    QCOMPARE(device.isCalibrated(), calibratedSignals > 0);
    QCOMPARE(V2DeviceProbe::slowFrames(), slowFramesLeft);
    QCOMPARE(device.isMeasurementCorrect(), correct);
    QCOMPARE(log->count(QStringLiteral("Device has been calibrated...")), calibratedSignals);
}

void TestStreamDetection::streamingPhase_data()
{
    QTest::addColumn<quint8>("status");
    QTest::addColumn<bool>("correct");
    QTest::newRow("0x01 correct") << quint8(0x01) << true;
    QTest::newRow("0x00 not") << quint8(0x00) << false;
    QTest::newRow("0x02 not") << quint8(0x02) << false;
    QTest::newRow("0xFF correct") << quint8(0xFF) << true;
    QTest::newRow("'C' is data now") << quint8('C') << true;
    QTest::newRow("'R' is data now") << quint8('R') << false;
}

void TestStreamDetection::streamingPhase()
{
    QFETCH(quint8, status);
    QFETCH(bool, correct);
    V2DeviceProbe device;
    QSignalSpy calibrated(&device, &Device::calibrated);
    QSignalSpy uid(&device, &Device::uidUpdated);
    device.setSensorRunning(true);
    // Start from the opposite answer so the frame must change it.
    device.receive(V2DeviceProbe::frameWith(correct ? 0x00 : 0x01));
    QCOMPARE(device.isMeasurementCorrect(), !correct);
    device.receive(V2DeviceProbe::frameWith(status));
    QCOMPARE(device.isMeasurementCorrect(), correct);
    QCOMPARE(calibrated.count(), 0);
    QCOMPARE(uid.count(), 0);
    QCOMPARE(device.UID(), QStringLiteral("0"));
}

void TestStreamDetection::uidResponse()
{
    V2DeviceProbe device;
    QSignalSpy uid(&device, &Device::uidUpdated);
    QCOMPARE(device.UID(), QStringLiteral("0"));
    device.receive(V2DeviceProbe::frameWith('R', "ABCDEFGHIJKLMNOP"));
    QCOMPARE(device.UID(), QStringLiteral("ABCDEFGHIJKLMNOP"));
    QCOMPARE(uid.count(), 1);
    QCOMPARE(uid.at(0).at(0).toString(), QStringLiteral("ABCDEFGHIJKLMNOP"));
    QVERIFY(log->contains(QStringLiteral("UID has been read: ABCDEFGHIJKLMNOP")));

    // Bytes above 0x7F are taken as Latin-1 characters, one each.
    QByteArray body("UID-");
    body.append(QByteArray(12, char(0xE9)));
    device.receive(V2DeviceProbe::frameWith('R', body));
    QCOMPARE(device.UID().size(), 16);
    QCOMPARE(device.UID(), QStringLiteral("UID-") + QString(12, QChar(0xE9)));
}

void TestStreamDetection::slowFramesCarryAcrossDevices()
{
    {
        V2DeviceProbe first;
        first.setLastFrameAgo(150);
        first.receive(V2DeviceProbe::frameWith(0x01));
        first.setLastFrameAgo(150);
        first.receive(V2DeviceProbe::frameWith(0x01));
        QVERIFY(!first.isSensorRunning());
    }
    QCOMPARE(V2DeviceProbe::slowFrames(), 2u);
    V2DeviceProbe second;
    second.setLastFrameAgo(150);
    second.receive(V2DeviceProbe::frameWith(0x01));
    QVERIFY(second.isSensorRunning());
    QCOMPARE(V2DeviceProbe::slowFrames(), 0u);
}

void TestStreamDetection::operationsNeedConnection()
{
    V2DeviceProbe device;
    QVERIFY(!device.isConnected());
    QVERIFY(!device.calibrateSensor());
    QVERIFY(!device.startSensor());
    QVERIFY(!device.stopSensor());
    QVERIFY(!device.readUID());
    QVERIFY(!device.isInitialized());
    QCOMPARE(device.serialNumber(), QStringLiteral("0000000000"));
    QVERIFY(log->lines().isEmpty());
}

QTEST_GUILESS_MAIN(TestStreamDetection)
#include "tst_streamdetection.moc"
