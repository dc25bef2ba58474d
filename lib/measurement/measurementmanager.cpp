#include "measurement/measurementmanager.h"

#include "config/backendlogger.h"
#include "device/device.h"
#include "storage/database.h"

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
    stopping = true;
    device->stopSensor();
    stopping = false;
    emit finished();
}

bool MeasurementManager::loadPerson(quint32 personId)
{
    // Taken before the lookup, which opens the database in this same folder.
    const QString directory = Database::personalDirectory();
    if (!saver.loadPerson(personId))
        return false;
    personDirectory = directory;
    return true;
}

void MeasurementManager::resetPerson()
{
    saver.resetPerson();
}

bool MeasurementManager::saveReport(const ProgressCallback& progress)
{
    // The report goes where its person was looked up, whatever folder the
    // frontend has named since.
    return saver.saveReport(resultsReady, personDirectory, progress);
}
