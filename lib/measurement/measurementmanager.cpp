#include "measurement/measurementmanager.h"

#include "config/backendlogger.h"
#include "device/device.h"

MeasurementManager::MeasurementManager(Device* device, QObject* parent, int totalMs, int tickMs)
    : QObject(parent)
    , remaining(totalMs)
    , logger(backendLogger())
    , timer(this)
    , device(device)
    , total(totalMs)
    , tick(tickMs)
{
    connect(&timer, &QTimer::timeout, this, &MeasurementManager::onTimeout);
}

MeasurementManager::~MeasurementManager() = default;

std::expected<bool, StartError> MeasurementManager::start()
{
    if (!device->calibrateSensor())
        return std::unexpected(StartError::CalibrationFailed);
    if (!device->startSensor())
        return std::unexpected(StartError::SensorStartFailed);

    timer.start(tick);
    running = true;
    remaining = total;
    emit timeout(remaining);
    emit started();
    return true;
}

void MeasurementManager::cancel()
{
    if (!running)
        return;
    timer.stop();
    running = false;
    remaining = total;
    emit stopped();
}

void MeasurementManager::onTimeout()
{
    if (device->isMeasurementCorrect())
        remaining -= tick;
    emit timeout(remaining);
    if (remaining > 0)
        return;

    running = false;
    remaining = total;
    timer.stop();
    device->stopSensor();
    emit finished();
}

bool MeasurementManager::loadPerson(quint32 personId)
{
    return saver.loadPerson(personId);
}

void MeasurementManager::resetPerson()
{
    saver.resetPerson();
}

bool MeasurementManager::saveReport(const ProgressCallback& progress)
{
    return saver.saveReport(resultsReady, progress);
}
