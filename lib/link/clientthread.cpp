#include "link/clientthread.h"

#include "config/backendlogger.h"
#include "config/cryptothreadstate.h"
#include "config/qtformatters.h"
#include "device/v2device.h"
#include "link/session.h"
#include "measurement/measurementmanager.h"
#include "storage/database.h"
#include "telemetry/sessiontelemetry.h"
#include "telemetry/telemetryconfig.h"

#include <QCoreApplication>

namespace {
constexpr int writeTimeoutMs = 30000;
}

ClientThread::ClientThread(int socketDescriptor, QObject* parent)
    : ClientThread(socketDescriptor, SessionOptions{}, parent)
{
}

ClientThread::ClientThread(int socketDescriptor, SessionOptions options, QObject* parent)
    : QThread(parent)
    , logger(backendLogger())
    , socketDescriptor(socketDescriptor)
    , options(std::move(options))
{
    setObjectName(QStringLiteral("worker"));
}

ClientThread::~ClientThread()
{
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
    logger->info("=== New Thread ===");
    logger->trace("Starting worker");
    if (adoptSocket()) {
        device = options.makeDevice ? options.makeDevice() : new V2Device(nullptr);
        auto current = std::make_unique<Session>(socket, device, options, shuttingDown);
        connect(current.get(), &Session::closeRequested, this, &ClientThread::closeSession, Qt::DirectConnection);
        connect(current.get(), &Session::saved, this, &ClientThread::saved, Qt::DirectConnection);
        connect(current.get(), &Session::discarded, this, &ClientThread::discarded, Qt::DirectConnection);
        session = current.get();
        if (current->setUp() && !shuttingDown) {
            measurementManager = current->measurementManager();
            // Beside the session, not before its greeting: the network may be slow.
            if (options.telemetry)
                telemetry.start(SessionTelemetry::factsOf(device), TelemetryConfig::fromEnvironment());
            current->greet();
            exec();
        }
        lastState = current->state();
        session = nullptr;
        measurementManager = nullptr;
        current.reset();
    }
    // Deleted here, on the thread they live on, while it still exists.
    delete device;
    device = nullptr;
    delete socket;
    socket = nullptr;
    // The databases were used on this thread only; their connections end with it.
    Database::release();
    // A report still under way gets a short grace, then is abandoned.
    telemetry.finish();
    // Whatever this thread scheduled for deletion goes now, then its crypto
    // state, so nothing of it is left for the thread's exit clean-up.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    CryptoThreadState::release();
}

bool ClientThread::adoptSocket()
{
    socket = new QTcpSocket();
    connect(socket, &QTcpSocket::errorOccurred, socket, [this] {
        logger->error("Socket error: {}", socket->errorString());
        logger->flush();
    });
    if (!socket->setSocketDescriptor(socketDescriptor, QAbstractSocket::ConnectedState, QIODevice::ReadWrite)) {
        logger->error("Tried to set socket descriptor, error: \n{}", socket->errorString());
        emit error(socket->error());
        logger->error("Could not set socket descriptor");
        return false;
    }
    // Qt's own buffer stays bounded too: past it the system holds the rest.
    socket->setReadBufferSize(PacketReader::heldLimit);
    connect(socket, &QTcpSocket::disconnected, this, &ClientThread::disconnected);
    logger->trace("Socket descriptor set");
    logger->debug("Client connected from {}:{}, descriptor: {}", socket->peerAddress().toString(),
                  socket->peerPort(), static_cast<qint64>(socketDescriptor));
    return true;
}

QByteArray ClientThread::handlePacket(const QByteArray& message)
{
    return session ? session->handlePacket(message) : QByteArray();
}

void ClientThread::setState(SessionState newState)
{
    if (session)
        session->setState(newState);
}

SessionState ClientThread::currentState() const
{
    return session ? session->state() : lastState;
}

void ClientThread::shutdown()
{
    closeSession();
}

void ClientThread::closeSession()
{
    if (shuttingDown.exchange(true))
        return;
    logger->info("Closing...");
    requestInterruption();
    quit();
}

void ClientThread::disconnected()
{
    logger->trace("Frontend Disconnected");
    if (shuttingDown)
        return;
    logger->info("Frontend disconnected, exiting...");
    requestInterruption();
    exit(0);
}
