#include "link/clientthread.h"

#include "commands/devicestatecommand.h"
#include "commands/exitcommand.h"
#include "commands/analyzingcorrectnesscommand.h"
#include "commands/initializecommand.h"
#include "commands/savecommand.h"
#include "commands/startanalyzingcommand.h"
#include "commands/setdbcommand.h"
#include "config/backendlogger.h"
#include "config/cryptothreadstate.h"
#include "config/qtformatters.h"
#include "config/settings.h"
#include "device/v2device.h"
#include "link/packet.h"
#include "link/packetfactory.h"
#include "measurement/measurementmanager.h"
#include "telemetry/sessiontelemetry.h"
#include "telemetry/telemetryconfig.h"

#include <QCoreApplication>
#include <exception>

namespace {
constexpr int writeTimeoutMs = 30000;
}

ClientThread::ClientThread(int socketDescriptor, QObject* parent)
    : QThread(parent)
    , logger(backendLogger())
    , socketDescriptor(socketDescriptor)
{
    setObjectName(QStringLiteral("worker"));
    commands.registerCommand(opcodes::initialization, std::make_unique<InitializeCommand>(nullptr));
    commands.registerCommand(opcodes::device_state, std::make_unique<DeviceStateCommand>());
    commands.registerCommand(opcodes::exit, std::make_unique<ExitCommand>());
    commands.registerCommand(opcodes::set_db, std::make_unique<SetDbCommand>());
    auto* initialize = commands.getCommand<InitializeCommand>(opcodes::initialization);
    // Direct: the measurement handlers exist before the `device_initialized`
    // reply leaves, so a `start_measure` right after it always finds them.
    connect(initialize, &InitializeCommand::initialized, this, &ClientThread::initHandlers,
            Qt::DirectConnection);
}

ClientThread::~ClientThread()
{
    // Normally run() has freed these on the session thread already.
    if (socket)
        socket->deleteLater();
    if (device)
        device->deleteLater();
    if (measurementManager)
        measurementManager->deleteLater();
    logger->trace("Freeing up resources...");
}

std::expected<int, QString> ClientThread::sendPacket(QIODevice* socket, const QByteArray& bytes)
{
    const qint64 written = socket->write(bytes);
    if (written == -1)
        return std::unexpected(socket->errorString());
    // What the system takes at once needs no wait. Waiting also reads, and a
    // read of a half-closed connection's end would close it before its replies.
    if (auto* tcp = qobject_cast<QAbstractSocket*>(socket))
        tcp->flush();
    if (socket->bytesToWrite() > 0 && !socket->waitForBytesWritten(writeTimeoutMs))
        return std::unexpected(QStringLiteral("Socket write failed, timeout"));
    return static_cast<int>(written);
}

void ClientThread::run()
{
    QObject context;
    sessionContext = &context;
    // Requests that arrive during set-up wait in `requests`; if set-up fails
    // they get no answer, as the session ends.
    if (setUpSession() && !shuttingDown) {
        logger->info("Worker is initialized, starting it now");
        sendPacket(socket, makePacket(opcodes::initialization, status_codes::service_ready));
        requests.settingUp = false;
        requests.schedule();
        exec();
    }
    requests.detach();
    freeSessionObjects();
    // A report still under way gets a short grace, then is abandoned.
    telemetry.finish();
    sessionContext = nullptr;
    // Whatever this thread scheduled for deletion goes now, then its crypto
    // state, so nothing of it is left for the thread's exit clean-up.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    CryptoThreadState::release();
}

bool ClientThread::setUpSession()
{
    logger->info("=== New Thread ===");
    logger->trace("Starting worker");

    socket = new QTcpSocket();
    connect(socket, &QTcpSocket::errorOccurred, sessionContext, [this] {
        logger->error("Socket error: {}", socket->errorString());
        logger->flush();
    });
    if (!socket->setSocketDescriptor(socketDescriptor, QAbstractSocket::ConnectedState,
                                     QIODevice::ReadWrite)) {
        logger->error("Tried to set socket descriptor, error: \n{}", socket->errorString());
        emit error(socket->error());
        logger->error("Could not set socket descriptor");
        return false;
    }
    // Qt's own buffer stays bounded too: past it the system holds the rest.
    socket->setReadBufferSize(PacketReader::heldLimit);
    connect(socket, &QTcpSocket::readyRead, this, &ClientThread::readyRead, Qt::DirectConnection);
    connect(socket, &QTcpSocket::disconnected, this, &ClientThread::disconnected);
    requests.attach(socket, sessionContext, [this](const QByteArray& request) { dispatch(request); });
    logger->trace("Socket descriptor set");
    logger->debug("Client connected from {}:{}, descriptor: {}", socket->peerAddress().toString(),
                  socket->peerPort(), static_cast<qint64>(socketDescriptor));

    device = new V2Device(nullptr);
    connectDevice();
    if (!device->reset()) {
        sendPacket(socket, makePacket(opcodes::error, status_codes::device_error));
        logger->flush();
        return false;
    }
    logger->trace("Device reset successful");
    measurementManager = new MeasurementManager(device, nullptr);
    connectMeasurement();
    setState(SessionState::Idle);

    // Beside the session, not before its greeting: the network may be slow.
    telemetry.start(SessionTelemetry::factsOf(device), TelemetryConfig::fromEnvironment());

    // The save handler raises these on the session thread; the state change
    // runs directly inside it, before its reply is built.
    connect(this, &ClientThread::saved, sessionContext, [this] { onMeasurementSaved(); }, Qt::DirectConnection);
    connect(this, &ClientThread::discarded, sessionContext, [this] { onMeasurementDiscarded(); }, Qt::DirectConnection);
    return true;
}

void ClientThread::connectDevice()
{
    connect(device, &Device::interrupted, device, [this] {
        logger->warn("Device has been interrupted");
        sendPacket(socket, makePacket(opcodes::error, status_codes::device_error));
        // Without its device a running measurement could never finish and
        // would refuse every new start; end it, the session goes back to idle.
        // A finished measurement needs no device: it stays to be saved or
        // discarded, and a passing port error leaves a measurement running.
        if (!device->isConnected() && measurementManager && measurementManager->running) {
            measurementManager->cancel();
            logger->warn("Measurement cancelled: the device is gone");
            setState(SessionState::Idle);
        }
    }, Qt::DirectConnection);
    connect(device, &Device::uidUpdated, device, [this](const QString& uid) {
        logger->debug("Setting uid {}", uid);
        Settings::instance().setAnalyzerSerial(uid);
    }, Qt::DirectConnection);
}

void ClientThread::connectMeasurement()
{
    // Queued onto the session thread, which owns the manager, so the state
    // entry actions never race with a running handler.
    connect(measurementManager, &MeasurementManager::started, sessionContext,
            [this] { onMeasurementStarted(); }, Qt::QueuedConnection);
    connect(measurementManager, &MeasurementManager::finished, sessionContext,
            [this] { onMeasurementFinished(); }, Qt::QueuedConnection);
}

void ClientThread::readyRead()
{
    if (shuttingDown)
        return;
    const QByteArray bytes = socket->readAll();
    if (bytes.isEmpty()) {
        logger->warn("Received message is empty");
        return;
    }
    logger->debug("Received raw data: {} bytes", bytes.size());
    if (!requests.receive(bytes)) {
        logger->error("More than {} bytes of requests are waiting; closing the session", PacketReader::heldLimit);
        requests.clear();
        shuttingDown = true;
        if (!requests.settingUp) // run() sees the flag after set-up; quitting would cut the device's waits
            closeSession();
        socket->abort();
    }
}

void ClientThread::dispatch(const QByteArray& message)
{
    if (shuttingDown)
        return;
    try {
        const QByteArray reply = handlePacket(message);
        if (!reply.isEmpty()) {
            const auto sent = sendPacket(socket, reply);
            if (!sent) {
                logger->error("Failed to send response: {}", sent.error());
                if (!socket->isValid() || !socket->isOpen()) {
                    logger->warn("Socket is not valid or not open, exiting thread");
                    closeSession();
                }
            }
        }
    } catch (const std::exception& e) {
        logger->critical("{}", e.what());
        sendPacket(socket, makePacket(opcodes::error, error_codes::handler_exception));
    }
}

void ClientThread::shutdown()
{
    closeSession();
}

void ClientThread::closeSession()
{
    logger->info("Closing...");
    shuttingDown = true;
    quit();
}

void ClientThread::disconnected()
{
    logger->trace("Frontend Disconnected");
    if (shuttingDown)
        return;
    logger->info("Frontend disconnected, exiting...");
    exit(0);
}

void ClientThread::freeSessionObjects()
{
    // Deleted here, on the thread they live on, while it still exists.
    if (socket)
        disconnect(socket, nullptr, this, nullptr);
    delete measurementManager;
    measurementManager = nullptr;
    delete device;
    device = nullptr;
    delete socket;
    socket = nullptr;
}

QByteArray ClientThread::handlePacket(const QByteArray& message)
{
    const Packet packet = readPacket(message);
    const auto opcode = static_cast<quint8>(packet.opcode);
    const auto status = static_cast<status_codes>(packet.payload);
    const qint64 size = message.size();
    logger->debug("Deserialized packet: opcode: {} ({}), payload: {} ({}), size: {}",
                  opcodeName(packet.opcode), opcode, statusCodeName(status), packet.payload, size);

    if (opcode > lastValidOpcode) {
        logger->warn("Unknown packet: {}", opcode);
        logger->debug("Unknown packet (opcode: {} ({}), payload: {} ({}), size: {})",
                      opcodeName(packet.opcode), opcode, statusCodeName(status), packet.payload, size);
        return makePacket(opcodes::error, status_codes::unknown_packet);
    }

    // Held for the whole call: a replacement of this slot meanwhile cannot free it.
    const std::shared_ptr<Command> command = commands.commandFor(packet.opcode);
    if (!command) {
        logger->critical("opcode handler ({}) is not initialized", opcode);
        return makePacket(opcodes::error, error_codes::no_handler);
    }
    logger->debug("Received: opcode: {} ({}), payload: {} ({}), size: {}", opcodeName(packet.opcode),
                  opcode, statusCodeName(status), packet.payload, size);

    const QByteArray reply = (*command)(message);

    const Packet sent = readPacket(reply);
    logger->debug("Sent: opcode: {} ({}), payload: {} ({}), size: {}", opcodeName(sent.opcode),
                  static_cast<quint8>(sent.opcode), statusCodeName(static_cast<status_codes>(sent.payload)),
                  sent.payload, static_cast<qint64>(reply.size()));
    return reply;
}

void ClientThread::initHandlers()
{
    logger->trace("Initializing handlers");
    commands.registerCommand(opcodes::start_measure, std::make_unique<StartAnalyzingCommand>());
    commands.registerCommand(opcodes::state_measure, std::make_unique<Command>(nullptr));
    commands.registerCommand(opcodes::correctness_measure, std::make_unique<AnalyzingCorrectnessCommand>());
    commands.registerCommand(opcodes::end_measure, std::make_unique<Command>(nullptr));
    commands.registerCommand(opcodes::save_measure, std::make_unique<SaveCommand>());
    commands.registerCommand(opcodes::saving_progress, std::make_unique<Command>(nullptr));
    commands.registerCommand(opcodes::error, std::make_unique<Command>(nullptr));
    commands.registerCommand(opcodes::abort, std::make_unique<Command>(nullptr));
}

void ClientThread::setState(SessionState newState)
{
    const auto old = static_cast<SessionState>(state.exchange(static_cast<qint32>(newState)));
    if (old != newState)
        onStateChanged(old, newState);
}

void ClientThread::onStateChanged(SessionState oldState, SessionState newState)
{
    logger->trace("State changed: {} -> {}", static_cast<int>(oldState), static_cast<int>(newState));
    switch (newState) {
    case SessionState::Idle:
        logger->trace("In idle state");
        // A measurement that ended without finishing leaves no forwarding
        // behind: the next start's own ticks are the only ones sent.
        disconnect(progressConnection);
        progressConnection = {};
        if (measurementManager) {
            measurementManager->resultsReady = false;
            measurementManager->resetPerson();
        }
        return;
    case SessionState::Analyzing:
        logger->trace("Analyzing state started");
        if (measurementManager && !progressConnection) {
            progressConnection = connect(measurementManager, &MeasurementManager::timeout, this,
                                         &ClientThread::measurementProgress, Qt::DirectConnection);
        }
        return;
    case SessionState::PostAnalyzing:
        logger->trace("Post-Analyzing state started");
        disconnect(progressConnection);
        progressConnection = {};
        if (measurementManager)
            measurementManager->resultsReady = true;
        return;
    }
    logger->critical("Unknown state: {}", static_cast<int>(newState));
}

void ClientThread::measurementProgress(int progress)
{
    if (progress == 0)
        requests.measurementEnding = true;
    const QByteArray packet = progress != 0
        ? PacketFactory::progressPacket(progress)
        : makePacket(opcodes::end_measure, status_codes::measurement_finished);
    socket->write(packet);
}

void ClientThread::onMeasurementStarted()
{
    // Queued: the measurement may have been cancelled in between.
    if (measurementManager && measurementManager->running)
        setState(SessionState::Analyzing);
}

void ClientThread::onMeasurementFinished()
{
    setState(SessionState::PostAnalyzing);
    requests.measurementEnding = false;
    requests.schedule();
}

void ClientThread::onMeasurementSaved()
{
    setState(SessionState::Idle);
}

void ClientThread::onMeasurementDiscarded()
{
    setState(SessionState::Idle);
}
