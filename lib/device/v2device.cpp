#include "device/v2device.h"

#include "config/qtformatters.h"
#include "config/settings.h"
#include "device/v2frame.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <chrono>

std::atomic<unsigned> V2Device::slowFrameCount{0};

namespace {
constexpr int writeTimeoutMs = 30000;
constexpr qint64 ticksPerMs = 10000;
constexpr qint64 ticksPerSecond = 10000000;

unsigned commandValue(COMMAND command)
{
    return static_cast<unsigned>(command);
}
} // namespace

V2Device::V2Device(QObject* parent)
    : Device(parent)
{
    responseHandlers.emplace(quint8('C'), [this](const QByteArray& frame) { onCalibrationResponse(frame); });
    responseHandlers.emplace(quint8('R'), [this](const QByteArray& frame) { onUidResponse(frame); });

    for (COMMAND command : {COMMAND::CALIBRATE, COMMAND::START_SENSOR, COMMAND::STOP_SENSOR,
                            COMMAND::COMMAND_W, COMMAND::READ_UID}) {
        senders.emplace(command, [this, command] {
            // A closed port (device gone) would only add warnings per cycle.
            if (!port.isOpen())
                return false;
            port.write(createFrame(command));
            return port.waitForBytesWritten(writeTimeoutMs);
        });
    }
}

qint64 V2Device::currentTicks()
{
    // Frame times only ever get compared with each other, so a clock that
    // never jumps keeps the silence and stream tests honest.
    using Ticks = std::chrono::duration<qint64, std::ratio<1, ticksPerSecond>>;
    return std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

QString V2Device::UID() const
{
    return uid;
}

QString V2Device::version()
{
    return Settings::instance().key();
}

bool V2Device::isSupported(int vendorId, int productId)
{
    return vendorId == 0x0403 && productId == 0x6C18;
}

std::optional<qsizetype> V2Device::selectPort(const QList<PortSelector::Record>& ports)
{
    return PortSelector::firstMatching(ports, &V2Device::isSupported);
}

bool V2Device::findSerialPortInfo()
{
    const QString named = PortSelector::namedPort(qEnvironmentVariable(portVariable));
    if (!named.isEmpty()) {
        // Ports that the system does not enumerate (a pseudo-terminal) give a
        // null info; the name alone is enough to open them.
        portInfo = QSerialPortInfo(named);
        overridePortName = named;
        logger->info("Using device port {} named by {}", named, portVariable);
        return true;
    }
    overridePortName.clear();

    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    const auto index = selectPort(PortSelector::fromInfos(infos));
    if (!index)
        return false;
    const QSerialPortInfo& info = infos.at(*index);
    logger->debug("Selected device: VID 0x{0:x}, PID 0x{1:x}", info.vendorIdentifier(), info.productIdentifier());
    portInfo = info;
    return true;
}

void V2Device::configurePort()
{
    if (port.isOpen())
        port.close();
    if (portInfo.isNull() && !overridePortName.isEmpty())
        port.setPortName(overridePortName);
    else
        port.setPort(portInfo);
    port.setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

bool V2Device::reset()
{
    if (!findSerialPortInfo()) {
        logger->error("Device not found.");
        connected = false;
        return false;
    }
    configurePort();

    connected = false;
    const auto start = std::chrono::steady_clock::now();
    while (!connected) {
        const auto attempt = std::chrono::steady_clock::now();
        if (QThread::currentThread()->isInterruptionRequested())
            break;
        if (attempt - start > std::chrono::seconds(10)) {
            logger->error("Cannot open the device.");
            connected = false;
            break;
        }
        logger->info("Trying to open the device...");
        connected = port.open(QIODevice::ReadWrite);
        // The device needs a moment after opening before it takes commands.
        // The pause serves the thread's events, so that requests arriving
        // meanwhile are read when they come.
        const auto pause = attempt + std::chrono::seconds(1) - std::chrono::steady_clock::now();
        waitForResponse(static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(pause).count()));
    }

    if (!connected) {
        logger->critical("Analyzer device is not connected\n{}", port.errorString());
        return false;
    }
    logger->info("Analyzer device found at {}", port.portName());
    // A device opened again (after it was lost) starts over in its command
    // phase; responses counted on the earlier line would otherwise make its
    // next answer look like the start of a stream.
    sensorRunning = false;
    calibrated = false;
    slowFrameCount = 0;
    assembler.clear();
    wirePort();
    stopSensor();
    readUID();
    return true;
}

bool V2Device::open()
{
    connected = port.open(QIODevice::ReadOnly);
    if (connected)
        wirePort();
    return connected;
}

std::expected<bool, status_codes> V2Device::initialize()
{
    if (!connected && !reset())
        return std::unexpected(status_codes::device_not_connected);
    initialized = true;
    return true;
}

bool V2Device::calibrateSensor()
{
    if (!connected)
        return false;
    return foolProofSending(COMMAND::CALIBRATE, [this] { return calibrated; }, 500);
}

bool V2Device::startSensor()
{
    if (!connected)
        return false;
    // Stream detection counts from the moment the command goes out.
    lastFrameTicks = currentTicks();
    return foolProofSending(COMMAND::START_SENSOR, [this] { return sensorRunning; }, 400);
}

bool V2Device::stopSensor()
{
    if (!connected)
        return false;
    const auto silent = [this] {
        if (static_cast<double>(currentTicks() - lastFrameTicks) / ticksPerMs > 400.0) {
            calibrated = false;
            sensorRunning = false;
            endDataFrames();
            return true;
        }
        return false;
    };
    return foolProofSending(COMMAND::STOP_SENSOR, silent, 600);
}

bool V2Device::readUID()
{
    if (!connected)
        return false;
    return foolProofSending(COMMAND::READ_UID, [this] { return uid.compare(QLatin1String("0")) != 0; }, 500);
}

bool V2Device::foolProofSending(COMMAND command, const std::function<bool()>& completed, const int& waitMs)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto lastProgress = start;
    int counter = 1;

    for (;;) {
        const auto now = Clock::now();
        senders.at(command)();
        waitForResponse(waitMs);

        if (now - lastProgress > std::chrono::seconds(1)) {
            logger->debug("#{0} Trying to execute command: 0x{1:x}", counter, commandValue(command));
            ++counter;
            lastProgress = Clock::now();
        }
        if (now - start > std::chrono::seconds(10)) {
            logger->error("command: 0x{0:x} still failing after 10 seconds", commandValue(command));
            return false;
        }
        // The session is ending: nobody waits for the answer any more.
        if (QThread::currentThread()->isInterruptionRequested()) {
            logger->warn("command: 0x{0:x} abandoned, the session is closing", commandValue(command));
            return false;
        }
        // No answer can come from a device that went away during the wait.
        if (gone) {
            logger->error("command: 0x{0:x} abandoned, the device is gone", commandValue(command));
            return false;
        }
        if (completed())
            return true;
    }
}

void V2Device::waitForResponse(const int& ms)
{
    if (ms <= 0)
        return;
    // Sleeps in an event loop so the port's data is processed meanwhile
    // without keeping a core busy.
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(ms);
    // A thread that has been told to quit refuses to run event loops; sleep
    // instead so a retry in progress does not spin until it gives up, unless
    // the session is ending, when nothing waits for the device any more.
    if (loop.exec() == -1 && !QThread::currentThread()->isInterruptionRequested())
        QThread::msleep(static_cast<unsigned long>(ms));
}

void V2Device::waitForBytesWritten()
{
    port.waitForBytesWritten(writeTimeoutMs);
}

QByteArray V2Device::createFrame(COMMAND command)
{
    return V2Frame::build(static_cast<quint8>(command));
}

bool V2Device::checkFrame(const QByteArray& bytes)
{
    return V2Frame::isValid(bytes);
}

void V2Device::readyRead()
{
    for (const QByteArray& frame : assembler.feed(port.readAll()))
        processFrame(frame);
}

void V2Device::processFrame(const QByteArray& frame)
{
    const auto command = static_cast<quint8>(frame.at(V2Frame::commandOffset));
    const qint64 now = currentTicks();

    if (!sensorRunning) {
        if (static_cast<double>(now - lastFrameTicks) / ticksPerMs > 100.0) {
            lastFrameTicks = now;
            if (++slowFrameCount > 2) {
                slowFrameCount = 0;
                sensorRunning = true;
            }
        }
        if (!sensorRunning) {
            const auto handler = responseHandlers.find(command);
            if (handler != responseHandlers.end())
                handler->second(frame);
            return;
        }
    }
    lastFrameTicks = now;
    noteDataFrame((command & 0x01) != 0);
}

void V2Device::onCalibrationResponse(const QByteArray&)
{
    calibrated = true;
    emit Device::calibrated();
    logger->info("Device has been calibrated...");
}

void V2Device::onUidResponse(const QByteArray& frame)
{
    uid = QString::fromLatin1(frame.mid(V2Frame::bodyOffset, V2Frame::bodySize));
    logger->debug("UID has been read: {}", uid);
    emit uidUpdated(uid);
}
