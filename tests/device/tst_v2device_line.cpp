// The device layer against the simulator's line faults: frames cut and glued
// by a bridge's latency timer, status bytes with more bits set, a stream that
// falls silent, and a device that comes back on its path after an unplug.
#include "eventwait.h"
#include "logcapture.h"
#include "simulatorprocess.h"
#include "v2deviceprobe.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

class TestV2DeviceLine : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void streamReadsAsFrames_data();
    void streamReadsAsFrames();
    void silentStreamLapsesAndReturns();
    void absentThenPresentOnTheSamePath();

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

void TestV2DeviceLine::silentStreamLapsesAndReturns()
{
    QVERIFY(sim->start({QStringLiteral("--silent-after"), QStringLiteral("1500"), QStringLiteral("--silent-for"),
                        QStringLiteral("2500")}));
    V2DeviceProbe device;
    QSignalSpy interrupted(&device, &Device::interrupted);
    QVERIFY(device.reset());
    QVERIFY(device.calibrateSensor());
    QVERIFY(device.startSensor());
    QTRY_VERIFY_WITH_TIMEOUT(device.isMeasurementCorrect(), 1000);

    // Frames stop while the port stays open: the flag lapses within the bound.
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(!device.isMeasurementCorrect(), 1500 + Device::dataSilenceMs + 1000);
    const qint64 lapsedAfter = clock.elapsed();
    QVERIFY(log->containsText(QStringLiteral("No data frame for 1000 ms")));
    QCOMPARE(interrupted.count(), 0);
    // ...and counts again once frames come back.
    QTRY_VERIFY_WITH_TIMEOUT(device.isMeasurementCorrect(), 4000);
    QVERIFY2(clock.elapsed() - lapsedAfter >= 1000, qPrintable(QString::number(clock.elapsed() - lapsedAfter)));
    QVERIFY(log->contains(QStringLiteral("Data frames arrive again")));
    QVERIFY(device.stopSensor());
}

void TestV2DeviceLine::absentThenPresentOnTheSamePath()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyANALYZER"));
    QVERIFY(sim->start({QStringLiteral("--link"), link, QStringLiteral("--unplug-after"), QStringLiteral("4000"),
                        QStringLiteral("--replug-after"), QStringLiteral("3000"), QStringLiteral("--uid"),
                        QStringLiteral("SAMEPATH00000001")}));
    QCOMPARE(sim->portPath(), link);
    V2DeviceProbe device;
    QSignalSpy interrupted(&device, &Device::interrupted);
    QVERIFY(device.reset());
    QTRY_COMPARE_WITH_TIMEOUT(interrupted.count(), 1, 6000);
    QVERIFY(!device.isConnected());
    QVERIFY(!QFileInfo::exists(link));

    // Opening fails for a while (nothing at the path), then succeeds; the
    // failed attempts are not interruptions.
    log->clear();
    const auto result = device.initialize();
    QVERIFY(result.has_value());
    QVERIFY(device.isConnected());
    QCOMPARE(device.UID(), QStringLiteral("SAMEPATH00000001"));
    QVERIFY(log->count(QStringLiteral("Trying to open the device...")) >= 2);
    QCOMPARE(interrupted.count(), 1);
    QVERIFY(device.calibrateSensor());
}

QTEST_GUILESS_MAIN(TestV2DeviceLine)
#include "tst_v2device_line.moc"
