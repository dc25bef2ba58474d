#pragma once

#include "storage/reportsaver.h"
#include "ulvex_export.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <expected>
#include <memory>
#include <spdlog/logger.h>

class Device;

enum class StartError {
    CalibrationFailed = 0,
    SensorStartFailed = 1,
};

// Times one measurement: 40 s of correct measurement counted down in 500 ms
// ticks, only ticks in which the device measures correctly count. Also holds
// the person being measured and saves the report. Lives on the session thread.
class ULVEX_EXPORT MeasurementManager : public QObject {
    Q_OBJECT
public:
    static constexpr int totalTimeMs = 40000;
    static constexpr int tickIntervalMs = 500;

    // The tick lengths are arguments only so unit tests can run faster; the
    // session always uses the defaults.
    explicit MeasurementManager(Device* device, QObject* parent = nullptr,
                                int totalMs = totalTimeMs, int tickMs = tickIntervalMs);
    ~MeasurementManager() override;

    std::expected<bool, StartError> start();
    // Ends a running measurement without results (its device went away).
    void cancel();

    // Looks the person up for a new measurement; once found, the personal
    // database this lookup used is the one the save writes to.
    bool loadPerson(quint32 personId);
    void resetPerson();
    bool saveReport(const ProgressCallback& progress);
    const Person* person() const { return saver.person(); }
    // Folder of the personal database the current person came from.
    const QString& personalDirectory() const { return personDirectory; }

    // Stopping the sensor after the last tick waits for the device.
    bool isStopping() const { return stopping; }

    int remaining = totalTimeMs;
    std::atomic_bool running{false};
    // Written by the session only: its post-analyzing state allows saving.
    std::atomic_bool resultsReady{false};

signals:
    void timeout(int remaining);
    void finished();
    void started();
    void stopped();

private slots:
    void onTimeout();

private:
    std::shared_ptr<spdlog::logger> logger;
    QTimer timer;
    Device* device;
    ReportSaver saver;
    QString personDirectory;
    bool stopping = false;
    const int total;
    const int tick;
};
