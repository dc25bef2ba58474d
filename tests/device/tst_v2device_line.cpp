// The device layer against the simulator's line faults: frames cut and glued
// by a bridge's latency timer, and status bytes with more bits set. (A silent
// stream and a device back on its path are covered end to end.)
#include "eventwait.h"
#include "logcapture.h"
#include "simulatorprocess.h"
#include "v2deviceprobe.h"

#include <QTest>

class TestV2DeviceLine : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void streamReadsAsFrames_data();
    void streamReadsAsFrames();

private:
    std::unique_ptr<LogCapture> log;
    std::unique_ptr<SimulatorProcess> sim;
};

void TestV2DeviceLine::init()
{
    log = std::make_unique<LogCapture>(spdlog::level::debug);
    sim = std::make_unique<SimulatorProcess>();
    V2DeviceProbe::clearSlowFrames();
}

void TestV2DeviceLine::cleanup()
{
    sim.reset();
    qunsetenv(V2Device::portVariable);
    log.reset();
}

void TestV2DeviceLine::streamReadsAsFrames_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("correct");
    const QString pattern = QStringLiteral("--pattern");
    QTest::newRow("pieces of 9 bytes") << QStringList{QStringLiteral("--chunk"), QStringLiteral("9"),
                                                      QStringLiteral("--latency"), QStringLiteral("5")} << true;
    // Two frames meet in one write: the end of one and the start of the next.
    QTest::newRow("pieces of 30, latency above the frame interval")
        << QStringList{QStringLiteral("--chunk"), QStringLiteral("30"), QStringLiteral("--latency"),
                       QStringLiteral("70")} << true;
    QTest::newRow("status 0xff") << QStringList{QStringLiteral("--status-bits"), QStringLiteral("0xfe")} << true;
    QTest::newRow("status 0xfe") << QStringList{QStringLiteral("--status-bits"), QStringLiteral("0xfe"), pattern,
                                                QStringLiteral("never")} << false;
    QTest::newRow("status 0x03 in pieces") << QStringList{QStringLiteral("--status-bits"), QStringLiteral("2"),
                                                          QStringLiteral("--chunk"), QStringLiteral("16")} << true;
}

void TestV2DeviceLine::streamReadsAsFrames()
{
    QFETCH(QStringList, args);
    QFETCH(bool, correct);
    QVERIFY(sim->start(args + QStringList{QStringLiteral("--uid"), QStringLiteral("CHUNK00000000007")}));
    V2DeviceProbe device;
    QVERIFY(device.reset());
    // The UID answer arrives in pieces too and is still read whole.
    QCOMPARE(device.UID(), QStringLiteral("CHUNK00000000007"));
    QVERIFY(device.calibrateSensor());
    QVERIFY(device.startSensor());
    QVERIFY(device.isSensorRunning());
    // Sample the flag over a second of streaming: only bit 0 of the status byte counts.
    int agreeing = 0;
    for (int i = 0; i < 10; ++i) {
        waitInEventLoop(100);
        agreeing += device.isMeasurementCorrect() == correct ? 1 : 0;
    }
    QCOMPARE(agreeing, 10);
    QVERIFY(device.stopSensor());
    QVERIFY(!device.isMeasurementCorrect());
}

QTEST_GUILESS_MAIN(TestV2DeviceLine)
#include "tst_v2device_line.moc"
