#include "eventwait.h"
#include "logcapture.h"
#include "simulatorprocess.h"
#include "v2deviceprobe.h"

#include <QSignalSpy>
#include <QTest>

class TestV2DeviceSim : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void resetOpensStopsAndReadsUid();
    void measurementCycle_data();
    void measurementCycle();
    void corruptedFramesAreRetried();

private:
    std::unique_ptr<LogCapture> log;
    std::unique_ptr<SimulatorProcess> sim;
};

void TestV2DeviceSim::init()
{
    log = std::make_unique<LogCapture>(spdlog::level::debug);
    sim = std::make_unique<SimulatorProcess>();
    V2DeviceProbe::clearSlowFrames();
}

void TestV2DeviceSim::cleanup()
{
    sim.reset();
    qunsetenv(V2Device::portVariable);
    log.reset();
}

void TestV2DeviceSim::resetOpensStopsAndReadsUid()
{
    QVERIFY(sim->start({QStringLiteral("--uid"), QStringLiteral("UNIT123456789ABC"), QStringLiteral("--verbose")}));
    V2DeviceProbe device;
    QSignalSpy uids(&device, &Device::uidUpdated);

    QVERIFY(device.reset());
    QVERIFY(device.isConnected());
    QVERIFY(!device.isInitialized());
    QCOMPARE(device.UID(), QStringLiteral("UNIT123456789ABC"));
    QVERIFY(uids.count() >= 1);
    QCOMPARE(uids.first().first().toString(), QStringLiteral("UNIT123456789ABC"));
    QVERIFY(!device.isSensorRunning());
    // The simulator saw the stop command before the UID request.
    const QByteArray traffic = sim->errorOutput();
    const qsizetype stop = traffic.indexOf("<- 0x59 'Y'");
    QVERIFY2(stop >= 0, traffic.constData());
    QVERIFY(traffic.indexOf("<- 0x52 'R'") > stop);

    const QStringList lines = log->lines();
    QVERIFY(lines.contains(QStringLiteral("Using device port %1 named by ULVEX_DEVICE_PORT").arg(sim->portPath())));
    QVERIFY(lines.contains(QStringLiteral("Trying to open the device...")));
    QVERIFY(lines.contains(QStringLiteral("UID has been read: UNIT123456789ABC")));
    const auto found = std::find_if(lines.begin(), lines.end(), [](const QString& line) {
        return line.startsWith(QLatin1String("Analyzer device found at "));
    });
    QVERIFY(found != lines.end());
    QVERIFY2(sim->portPath().endsWith(found->mid(25)), qPrintable(*found));

    // An open port means initialize has nothing to reset.
    log->clear();
    const auto result = device.initialize();
    QVERIFY(result.has_value());
    QVERIFY(*result);
    QVERIFY(device.isInitialized());
    QVERIFY(!log->contains(QStringLiteral("Trying to open the device...")));
}

void TestV2DeviceSim::measurementCycle_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("correctSeen");
    QTest::addColumn<bool>("incorrectSeen");
    QTest::newRow("always") << "always" << true << false;
    QTest::newRow("never") << "never" << false << true;
    QTest::newRow("alternate") << "alternate" << true << true;
}

void TestV2DeviceSim::measurementCycle()
{
    QFETCH(QString, pattern);
    QFETCH(bool, correctSeen);
    QFETCH(bool, incorrectSeen);
    QVERIFY(sim->start({QStringLiteral("--pattern"), pattern, QStringLiteral("--interval"), QStringLiteral("50")}));
    V2DeviceProbe device;
    QSignalSpy calibrated(&device, &Device::calibrated);
    QVERIFY(device.reset());

    QVERIFY(device.calibrateSensor());
    QVERIFY(device.isCalibrated());
    QCOMPARE(calibrated.count(), 1);
    QVERIFY(log->contains(QStringLiteral("Device has been calibrated...")));

    QVERIFY(device.startSensor());
    QVERIFY(device.isSensorRunning());

    // Sample the flag between data frames for a while.
    bool sawCorrect = false;
    bool sawIncorrect = false;
    for (int i = 0; i < 40; ++i) {
        waitInEventLoop(25);
        (device.isMeasurementCorrect() ? sawCorrect : sawIncorrect) = true;
    }
    QCOMPARE(sawCorrect, correctSeen);
    QCOMPARE(sawIncorrect, incorrectSeen);
    QVERIFY(device.isSensorRunning());
    QCOMPARE(calibrated.count(), 1);

    QVERIFY(device.stopSensor());
    QVERIFY(!device.isSensorRunning());
    QVERIFY(!device.isCalibrated());
    QVERIFY(!log->contains(QStringLiteral("command: 0x58 still failing after 10 seconds")));

    // The device is silent again: a second calibration is a command response.
    QVERIFY(device.calibrateSensor());
    QCOMPARE(calibrated.count(), 2);
}

void TestV2DeviceSim::corruptedFramesAreRetried()
{
    // Every second frame carries a wrong checksum and is dropped; the retry
    // brings the next answer.
    QVERIFY(sim->start({QStringLiteral("--corrupt-every"), QStringLiteral("2"), QStringLiteral("--uid"),
                        QStringLiteral("CORRUPT000000002")}));
    V2DeviceProbe device;
    QSignalSpy calibrated(&device, &Device::calibrated);
    QVERIFY(device.reset());
    QVERIFY(device.calibrateSensor());
    QVERIFY(device.calibrateSensor());
    QVERIFY(calibrated.count() >= 1);
    QCOMPARE(device.UID(), QStringLiteral("CORRUPT000000002"));
}

QTEST_GUILESS_MAIN(TestV2DeviceSim)
#include "tst_v2device_sim.moc"
