#include "device/device.h"

#include "config/backendlogger.h"
#include "config/qtformatters.h"

#include <QFile>
#include <QStandardPaths>
#include <chrono>
#include <spdlog/spdlog.h>
#include <thread>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

Device::Device(QObject* parent)
    : QObject(parent)
    , logger(backendLogger())
{
    dataSilence.setSingleShot(true);
    dataSilence.setInterval(dataSilenceMs);
    connect(&dataSilence, &QTimer::timeout, this, &Device::onDataSilence);
    hangupWatch.setInterval(500);
    connect(&hangupWatch, &QTimer::timeout, this, [this] {
        if (!port.isOpen())
            hangupWatch.stop();
        else if (!gone && lineHungUp())
            reportGone(QSerialPort::ResourceError);
    });
}

Device::~Device()
{
    if (port.isOpen())
        port.close();
}

QString Device::serialNumber() const
{
    if (portInfo.isNull())
        return QStringLiteral("0000000000");
    return portInfo.serialNumber();
}

std::expected<bool, status_codes> Device::initialize()
{
    if (!connected && !reset())
        return false;

    // The device needs this long after opening before it measures reliably.
    for (int i = 0; i < 51; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));

    const QString dataLocation = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!QFile::exists(dataLocation + QStringLiteral("/personal.db")))
        logger->critical("Missing db file. ({}/personal.db)", dataLocation);
    return true;
}

void Device::wirePort()
{
    gone = false;
    connect(&port, &QSerialPort::readyRead, this, &Device::readyRead,
            static_cast<Qt::ConnectionType>(Qt::AutoConnection | Qt::UniqueConnection));
    connect(&port, &QSerialPort::errorOccurred, this, &Device::error,
            static_cast<Qt::ConnectionType>(Qt::AutoConnection | Qt::UniqueConnection));
#ifdef Q_OS_UNIX
    hangupWatch.start();
#endif
}

bool Device::isDeviceGone(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::ResourceError)
        return true;
    if (error != QSerialPort::ReadError)
        return false;
    // A hung-up line keeps failing every read; only the descriptor tells a
    // hang-up from a single failed read.
    return lineHungUp();
}

bool Device::lineHungUp()
{
#ifdef Q_OS_UNIX
    if (!port.isOpen() || port.handle() < 0)
        return false;
    pollfd fd{};
    fd.fd = port.handle();
    fd.events = POLLIN;
    if (::poll(&fd, 1, 0) < 0)
        return false;
    return (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return false;
#endif
}

void Device::noteDataFrame(bool correct)
{
    if (silent) {
        silent = false;
        logger->info("Data frames arrive again");
    }
    measurementCorrect = correct;
    dataSilence.start();
}

void Device::endDataFrames()
{
    dataSilence.stop();
    silent = false;
    measurementCorrect = false;
}

void Device::onDataSilence()
{
    silent = true;
    measurementCorrect = false;
    logger->warn("No data frame for {} ms: the device does not measure correctly until frames return",
                 dataSilenceMs);
}

void Device::error(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError)
        return;
    // Only a port that was open can be interrupted; a failed open attempt
    // (the device still absent) is answered by whoever tried to open it.
    if (!port.isOpen()) {
        logger->debug("Port error {} while the port is closed", static_cast<int>(error));
        return;
    }
    if (!isDeviceGone(error)) {
        emit interrupted(error);
        return;
    }
    reportGone(error);
}

void Device::reportGone(QSerialPort::SerialPortError error)
{
    // A lost device keeps raising errors until the port is closed; the
    // session hears about it once.
    if (gone)
        return;
    gone = true;
    hangupWatch.stop();
    connected = false;
    // A vanished device measures nothing: a running countdown must not go on
    // counting on its last report.
    endDataFrames();
    logger->warn("Device is gone (port error {})", static_cast<int>(error));
    emit interrupted(error);
    // Closing inside the port's own error signal would pull its buffers away
    // while it still uses them, so close once control is back in the loop.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (gone && port.isOpen())
                port.close();
        },
        Qt::QueuedConnection);
}
