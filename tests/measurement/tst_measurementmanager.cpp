#include "fakedevice.h"
#include "measurement/measurementmanager.h"

#include <QSignalSpy>
#include <QTest>

namespace {
// Shortened timing: 40 correct ticks make a measurement, as in the real 40 s / 500 ms.
constexpr int total = 1000;
constexpr int tick = 25;
} // namespace

class TestMeasurementManager : public QObject {
    Q_OBJECT
private slots:
    void countdown_data();
    void countdown();
    void neverCorrectNeverFinishes();
    void calibrationFailure();
    void sensorStartFailure();
    void canStartAgainAfterFinish();
    void cancelEndsWithoutResults();
};

void TestMeasurementManager::countdown_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("ticks");
    QTest::newRow("always correct") << "always" << 40;
    QTest::newRow("alternating") << "alternate" << 80;
}

void TestMeasurementManager::countdown()
{
    QFETCH(QString, pattern);
    QFETCH(int, ticks);
    FakeDevice device;
    MeasurementManager manager(&device, nullptr, total, tick);
    device.setCorrect(true);
    if (pattern == QLatin1String("alternate")) {
        // Flip after each tick: correct, incorrect, correct...
        connect(&manager, &MeasurementManager::timeout, &device, [&device] { device.setCorrect(!device.isMeasurementCorrect()); });
    }
    QSignalSpy timeouts(&manager, &MeasurementManager::timeout);
    QSignalSpy finished(&manager, &MeasurementManager::finished);
    QSignalSpy started(&manager, &MeasurementManager::started);

    const auto result = manager.start();
    QVERIFY(result.has_value());
    QCOMPARE(started.count(), 1);
    QVERIFY(manager.running);
    QCOMPARE(timeouts.count(), 1);
    QCOMPARE(timeouts.at(0).at(0).toInt(), total);

    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(timeouts.count(), ticks + 1);
    QCOMPARE(timeouts.last().at(0).toInt(), 0);
    // Values only ever fall by one tick, and zero comes exactly once.
    int zeros = 0;
    for (int i = 1; i < timeouts.count(); ++i) {
        const int before = timeouts.at(i - 1).at(0).toInt();
        const int now = timeouts.at(i).at(0).toInt();
        QVERIFY(now == before || now == before - tick);
        zeros += now == 0;
    }
    QCOMPARE(zeros, 1);
    QVERIFY(!manager.running);
    QCOMPARE(manager.remaining, total);
    QCOMPARE(device.stopCalls, 1);
}

void TestMeasurementManager::neverCorrectNeverFinishes()
{
    FakeDevice device;
    MeasurementManager manager(&device, nullptr, total, tick);
    QSignalSpy timeouts(&manager, &MeasurementManager::timeout);
    QSignalSpy finished(&manager, &MeasurementManager::finished);
    QVERIFY(manager.start().has_value());
    QTRY_VERIFY_WITH_TIMEOUT(timeouts.count() > 60, 10000);
    QCOMPARE(finished.count(), 0);
    for (const auto& args : timeouts)
        QCOMPARE(args.at(0).toInt(), total);
    QVERIFY(manager.running);
}

void TestMeasurementManager::calibrationFailure()
{
    FakeDevice device;
    device.calibrateResult = false;
    MeasurementManager manager(&device, nullptr, total, tick);
    QSignalSpy timeouts(&manager, &MeasurementManager::timeout);
    QSignalSpy started(&manager, &MeasurementManager::started);
    const auto result = manager.start();
    QVERIFY(!result.has_value());
    QCOMPARE(result.error(), StartError::CalibrationFailed);
    QCOMPARE(device.startCalls, 0);
    QCOMPARE(timeouts.count(), 0);
    QCOMPARE(started.count(), 0);
    QVERIFY(!manager.running);
}

void TestMeasurementManager::sensorStartFailure()
{
    FakeDevice device;
    device.startResult = false;
    MeasurementManager manager(&device, nullptr, total, tick);
    const auto result = manager.start();
    QVERIFY(!result.has_value());
    QCOMPARE(result.error(), StartError::SensorStartFailed);
    QCOMPARE(device.calibrateCalls, 1);
    QVERIFY(!manager.running);
}

void TestMeasurementManager::canStartAgainAfterFinish()
{
    FakeDevice device;
    device.setCorrect(true);
    MeasurementManager manager(&device, nullptr, total, tick);
    QSignalSpy finished(&manager, &MeasurementManager::finished);
    QVERIFY(manager.start().has_value());
    QVERIFY(finished.wait(10000));
    QVERIFY(manager.start().has_value());
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.count(), 2);
}

void TestMeasurementManager::cancelEndsWithoutResults()
{
    FakeDevice device;
    device.setCorrect(true);
    MeasurementManager manager(&device, nullptr, total, tick);
    QSignalSpy timeouts(&manager, &MeasurementManager::timeout);
    QSignalSpy finished(&manager, &MeasurementManager::finished);
    QSignalSpy stopped(&manager, &MeasurementManager::stopped);
    QVERIFY(manager.start().has_value());
    QTRY_VERIFY(timeouts.count() > 3);
    manager.cancel();
    QCOMPARE(stopped.count(), 1);
    QVERIFY(!manager.running);
    QCOMPARE(manager.remaining, total);
    const int ticks = timeouts.count();
    QTest::qWait(10 * tick);
    QCOMPARE(timeouts.count(), ticks);
    QCOMPARE(finished.count(), 0);
    manager.cancel(); // nothing running: no second signal
    QCOMPARE(stopped.count(), 1);
    QVERIFY(manager.start().has_value());
}

QTEST_GUILESS_MAIN(TestMeasurementManager)
#include "tst_measurementmanager.moc"
