#include "eventwait.h"
#include "logcapture.h"
#include "simulatorprocess.h"
#include "v2deviceprobe.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

class TestV2DeviceFaults : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void ignoredCommandFailsAfterTenSeconds();
    void retriesGiveUpWhenTheSessionCloses();
    void unplugInterruptsOnceAndInitializeReopens();
    void hangUpWithoutPortErrorIsNoticed();

private:
    std::unique_ptr<LogCapture> log;
};

void TestV2DeviceFaults::init()
{
    log = std::make_unique<LogCapture>(spdlog::level::debug);
    V2DeviceProbe::clearSlowFrames();
}

void TestV2DeviceFaults::cleanup()
{
    qunsetenv(V2Device::portVariable);
    log.reset();
}

void TestV2DeviceFaults::ignoredCommandFailsAfterTenSeconds()
{
    SimulatorProcess sim;
    QVERIFY(sim.start({QStringLiteral("--ignore"), QStringLiteral("C")}));
    V2DeviceProbe device;
    QSignalSpy calibrated(&device, &Device::calibrated);
    QVERIFY(device.reset());
    log->clear();

    QElapsedTimer clock;
    clock.start();
    QVERIFY(!device.calibrateSensor());
    QVERIFY(clock.elapsed() >= 10000);
    QVERIFY(!device.isCalibrated());
    QCOMPARE(calibrated.count(), 0);

    // Progress about once a second, numbered from 1, then the failure.
    QStringList progress;
    for (const QString& line : log->lines()) {
        if (line.contains(QLatin1String("Trying to execute command")))
            progress.append(line);
    }
    QVERIFY2(progress.size() >= 6 && progress.size() <= 10, qPrintable(progress.join(QLatin1Char('\n'))));
    for (qsizetype i = 0; i < progress.size(); ++i)
        QCOMPARE(progress[i], QStringLiteral("#%1 Trying to execute command: 0x43").arg(i + 1));
    QCOMPARE(log->count(QStringLiteral("command: 0x43 still failing after 10 seconds")), 1);
    QCOMPARE(log->lines().last(), QStringLiteral("command: 0x43 still failing after 10 seconds"));

    // The other commands still work on the same device.
    QVERIFY(device.startSensor());
    QVERIFY(device.stopSensor());
}

void TestV2DeviceFaults::retriesGiveUpWhenTheSessionCloses()
{
    SimulatorProcess sim;
    QVERIFY(sim.start({QStringLiteral("--ignore"), QStringLiteral("C")}));
    const QByteArray port = qgetenv(V2Device::portVariable);
    bool calibrated = true;
    qint64 took = -1;
    // A session thread whose session is closed half a second into the retries.
    std::unique_ptr<QThread> session(QThread::create([&] {
        qputenv(V2Device::portVariable, port);
        V2DeviceProbe device;
        if (!device.reset())
            return;
        QTimer::singleShot(500, [] {
            QThread::currentThread()->requestInterruption();
            QThread::currentThread()->quit();
        });
        QElapsedTimer clock;
        clock.start();
        calibrated = device.calibrateSensor();
        took = clock.elapsed();
    }));
    session->start();
    QVERIFY(session->wait(15000));
    QVERIFY(!calibrated);
    QVERIFY2(took >= 0 && took < 1500, qPrintable(QString::number(took)));
    QCOMPARE(log->count(QStringLiteral("command: 0x43 abandoned, the session is closing")), 1);
}

void TestV2DeviceFaults::unplugInterruptsOnceAndInitializeReopens()
{
    auto sim = std::make_unique<SimulatorProcess>();
    QVERIFY(sim->start({QStringLiteral("--unplug-after"), QStringLiteral("5000"), QStringLiteral("--uid"),
                        QStringLiteral("FIRST00000000001"), QStringLiteral("--pattern"), QStringLiteral("always")}));
    V2DeviceProbe device;
    QSignalSpy interrupted(&device, &Device::interrupted);
    QSignalSpy uids(&device, &Device::uidUpdated);
    QVERIFY(device.reset());
    QCOMPARE(device.UID(), QStringLiteral("FIRST00000000001"));
    // Streaming correct frames when the line goes.
    QVERIFY(device.calibrateSensor());
    QVERIFY(device.startSensor());
    QTRY_VERIFY_WITH_TIMEOUT(device.isMeasurementCorrect(), 1000);

    QVERIFY(interrupted.wait(10000));
    QVERIFY(!device.isMeasurementCorrect()); // nothing measures any more
    QVERIFY(sim->waitForExit(5000));
    // A hung-up line keeps failing; give it time to prove it is reported once.
    waitInEventLoop(1000);
    QCOMPARE(interrupted.count(), 1);
    const auto error = interrupted.first().first().value<QSerialPort::SerialPortError>();
    QVERIFY2(error == QSerialPort::ReadError || error == QSerialPort::ResourceError,
             qPrintable(QString::number(int(error))));
    QVERIFY(!device.isConnected());
    QVERIFY(log->lines().filter(QStringLiteral("Device is gone")).size() == 1);
    // No command goes out to a gone device.
    QVERIFY(!device.calibrateSensor());

    // The device comes back on another line; initialize opens it again.
    sim = std::make_unique<SimulatorProcess>();
    QVERIFY(sim->start({QStringLiteral("--uid"), QStringLiteral("SECOND0000000002")}));
    uids.clear();
    const auto result = device.initialize();
    QVERIFY(result.has_value());
    QVERIFY(*result);
    QVERIFY(device.isConnected());
    QVERIFY(device.isInitialized());
    QVERIFY(uids.count() >= 1);
    QCOMPARE(uids.last().first().toString(), QStringLiteral("SECOND0000000002"));
    QCOMPARE(device.UID(), QStringLiteral("SECOND0000000002"));
    QVERIFY2(device.calibrateSensor(), qPrintable(log->lines().join(QLatin1Char('\n'))));
    QCOMPARE(interrupted.count(), 1);
}

void TestV2DeviceFaults::hangUpWithoutPortErrorIsNoticed()
{
    SimulatorProcess sim;
    QVERIFY(sim.start({QStringLiteral("--unplug-after"), QStringLiteral("3000")}));
    V2DeviceProbe device;
    QSignalSpy interrupted(&device, &Device::interrupted);
    QVERIFY(device.reset());
    device.ignorePortErrors();

    QVERIFY(interrupted.wait(10000));
    QVERIFY(sim.waitForExit(5000));
    waitInEventLoop(1500);
    QCOMPARE(interrupted.count(), 1);
    QCOMPARE(interrupted.first().first().value<QSerialPort::SerialPortError>(), QSerialPort::ResourceError);
    QVERIFY(!device.isConnected());
    QCOMPARE(log->lines().filter(QStringLiteral("Device is gone")).size(), 1);
}

QTEST_GUILESS_MAIN(TestV2DeviceFaults)
#include "tst_v2device_faults.moc"
