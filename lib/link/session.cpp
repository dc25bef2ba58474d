#include "link/session.h"

#include "commands/commandset.h"
#include "commands/initializecommand.h"
#include "config/backendlogger.h"
#include "config/qtformatters.h"
#include "config/settings.h"
#include "device/device.h"
#include "measurement/measurementmanager.h"
#include "protocol/packet.h"
#include "protocol/packetfactory.h"

#include <QAbstractSocket>
#include <exception>

Session::Session(QAbstractSocket* socket, Device* device, const SessionOptions& options,
                 const std::atomic_bool& stopRequested, QObject* parent)
    : QObject(parent)
    , logger(backendLogger())
    , socket(socket)
    , sessionDevice(device)
    , options(options)
    , stopRequested(stopRequested)
{
    CommandSet::installSessionCommands(registry);
    auto* initialize = registry.getCommand<InitializeCommand>(opcodes::initialization);
    // Direct: the measurement handlers exist before the `device_initialized`
    // reply leaves, so a `start_measure` right after it always finds them.
    connect(initialize, &InitializeCommand::initialized, this, &Session::initHandlers, Qt::DirectConnection);

    // Requests that arrive during set-up wait in the inbox; if set-up fails
    // they get no answer, as the session ends.
    inbox.attach(socket, [this] { return mayAnswer(); }, [this](const QByteArray& request) { answer(request); });
    connect(socket, &QAbstractSocket::readyRead, this, &Session::receive);
    // A frontend that reads again after a backlog gets its answers, in a turn
    // of their own: the bytes may have left from inside a tick or a reply.
    connect(socket, &QAbstractSocket::bytesWritten, this, [this] {
        if (inbox.hasWork())
            QMetaObject::invokeMethod(this, [this] { inbox.answerWaiting(); }, Qt::QueuedConnection);
    });
}

Session::~Session()
{
    inbox.detach();
    if (socket)
        disconnect(socket, nullptr, this, nullptr);
}

bool Session::setUp()
{
    connectDevice();
    if (!sessionDevice->reset()) {
        send(makePacket(opcodes::error, status_codes::device_error));
        logger->flush();
        return false;
    }
    logger->trace("Device reset successful");
    manager = std::make_unique<MeasurementManager>(sessionDevice, nullptr, options.measurementTotalMs,
                                                   options.measurementTickMs);
    connectMeasurement();
    setState(SessionState::Idle);
    return true;
}

void Session::greet()
{
    logger->info("Worker is initialized, starting it now");
    send(makePacket(opcodes::initialization, status_codes::service_ready));
    greeted = true;
    inbox.answerWaiting();
}

void Session::connectDevice()
{
    connect(sessionDevice, &Device::interrupted, this, [this] {
        logger->warn("Device has been interrupted");
        send(makePacket(opcodes::error, status_codes::device_error));
        // Without its device a running measurement could never finish and
        // would refuse every new start; end it, the session goes back to idle.
        // A finished measurement needs no device: it stays to be saved or
        // discarded, and a passing port error leaves a measurement running.
        if (!sessionDevice->isConnected() && manager && manager->running) {
            manager->cancel();
            logger->warn("Measurement cancelled: the device is gone");
            setState(SessionState::Idle);
        }
    });
    connect(sessionDevice, &Device::uidUpdated, this, [this](const QString& uid) {
        logger->debug("Setting uid {}", uid);
        Settings::instance().setAnalyzerSerial(uid);
    });
}

void Session::connectMeasurement()
{
    // All on this thread: each reaches the state machine as it happens.
    connect(manager.get(), &MeasurementManager::timeout, this, &Session::forwardTick);
    connect(manager.get(), &MeasurementManager::started, this, [this] {
        if (manager->running)
            setState(SessionState::Analyzing);
    });
    connect(manager.get(), &MeasurementManager::finished, this, [this] {
        setState(SessionState::PostAnalyzing);
        // Requests held while the sensor was being stopped.
        inbox.answerWaiting();
    });
}

void Session::initHandlers()
{
    logger->trace("Initializing handlers");
    CommandSet::installMeasurementCommands(registry);
}

void Session::receive()
{
    // Requests are answered inside this call, and the socket does not signal
    // again while its signal is still being handled: bytes that arrive during
    // a handler's waits are taken here once it returns.
    do {
        if (stopRequested)
            return;
        const QByteArray bytes = socket->readAll();
        if (bytes.isEmpty()) {
            logger->warn("Received message is empty");
            return;
        }
        logger->debug("Received raw data: {} bytes", bytes.size());
        if (!inbox.receive(bytes)) {
            logger->error("More than {} bytes of requests are waiting; closing the session",
                          PacketReader::heldLimit);
            inbox.clear();
            close();
            socket->abort();
            return;
        }
    } while (socket->bytesAvailable() > 0);
}

bool Session::mayAnswer() const
{
    return greeted && !dispatching && !stopRequested && !(manager && manager->isStopping())
        && socket->bytesToWrite() <= writeBacklogLimit;
}

void Session::answer(const QByteArray& message)
{
    dispatching = true;
    try {
        const QByteArray reply = handlePacket(message);
        if (!reply.isEmpty())
            send(reply);
    } catch (const std::exception& e) {
        logger->critical("{}", e.what());
        send(makePacket(opcodes::error, error_codes::handler_exception));
    }
    dispatching = false;
}

void Session::send(const QByteArray& bytes)
{
    // Handed to the system at once where it takes them; the rest leaves from
    // the event loop. Nothing here waits for a slow reader.
    if (socket->write(bytes) == -1) {
        logger->error("Failed to send response: {}", socket->errorString());
        if (!socket->isValid() || !socket->isOpen()) {
            logger->warn("Socket is not valid or not open, exiting thread");
            close();
        }
        return;
    }
    socket->flush();
}

void Session::notify(const QByteArray& packet)
{
    send(packet);
}

void Session::close()
{
    emit closeRequested();
}

QByteArray Session::handlePacket(const QByteArray& message)
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
    const std::shared_ptr<Command> command = registry.commandFor(packet.opcode);
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

bool Session::resultsReady() const
{
    return manager && manager->resultsReady;
}

void Session::replaceFinishedMeasurement()
{
    if (!resultsReady())
        return;
    logger->info("The finished measurement was not saved; a new measurement replaces it");
    keepPerson = true;
    setState(SessionState::Idle);
    keepPerson = false;
}

void Session::measurementSaved()
{
    setState(SessionState::Idle);
    emit saved();
}

void Session::measurementDiscarded()
{
    setState(SessionState::Idle);
    emit discarded();
}

void Session::setState(SessionState newState)
{
    const auto old = static_cast<SessionState>(stateValue.exchange(static_cast<qint32>(newState)));
    if (old != newState)
        onStateChanged(old, newState);
}

void Session::onStateChanged(SessionState oldState, SessionState newState)
{
    logger->trace("State changed: {} -> {}", static_cast<int>(oldState), static_cast<int>(newState));
    switch (newState) {
    case SessionState::Idle:
        logger->trace("In idle state");
        // A measurement that ended without finishing leaves no forwarding
        // behind: the next start's own ticks are the only ones sent.
        forwardingTicks = false;
        if (manager) {
            manager->resultsReady = false;
            if (!keepPerson)
                manager->resetPerson();
        }
        return;
    case SessionState::Analyzing:
        logger->trace("Analyzing state started");
        forwardingTicks = true;
        return;
    case SessionState::PostAnalyzing:
        logger->trace("Post-Analyzing state started");
        forwardingTicks = false;
        if (manager)
            manager->resultsReady = true;
        return;
    }
    logger->critical("Unknown state: {}", static_cast<int>(newState));
}

void Session::forwardTick(int remaining)
{
    if (!forwardingTicks)
        return;
    const QByteArray packet = remaining != 0
        ? PacketFactory::progressPacket(remaining)
        : makePacket(opcodes::end_measure, status_codes::measurement_finished);
    // A plain write: it leaves from the event loop's next turn.
    socket->write(packet);
}
