#pragma once

#include "link/sessionoptions.h"
#include "link/sessionstate.h"
#include "telemetry/telemetrytask.h"
#include "ulvex_export.h"

#include <QByteArray>
#include <QIODevice>
#include <QTcpSocket>
#include <QThread>
#include <atomic>
#include <expected>
#include <memory>
#include <spdlog/logger.h>

class Device;
class MeasurementManager;
class Session;

// One frontend session on a thread of its own. The object itself lives on the
// thread that created it (the main thread); run() makes the socket, the device
// and the Session on the session thread, where all packet handling happens.
// The members below are views of that session for whoever looks from outside.
class ULVEX_EXPORT ClientThread : public QThread {
    Q_OBJECT
public:
    explicit ClientThread(int socketDescriptor, QObject* parent = nullptr);
    ClientThread(int socketDescriptor, SessionOptions options, QObject* parent = nullptr);
    ~ClientThread() override;

    // Writes and waits for the bytes to leave; the result is the number of
    // bytes written or the socket's error text.
    static std::expected<int, QString> sendPacket(QIODevice* socket, const QByteArray& bytes);

    // Session-thread only, while the session runs; the state's last value
    // stays readable once the thread has finished.
    QByteArray handlePacket(const QByteArray& message);
    void setState(SessionState newState);
    SessionState currentState() const;

    std::shared_ptr<spdlog::logger> logger;
    // Raised once the session is closing; received data is then ignored.
    std::atomic_bool shuttingDown{false};
    QTcpSocket* socket = nullptr;
    Device* device = nullptr;
    MeasurementManager* measurementManager = nullptr;
    qintptr socketDescriptor;

signals:
    void error(QTcpSocket::SocketError socketError);
    void saved();
    void discarded();

public slots:
    // Both are safe from any thread: the session ends once the request in
    // hand (a save included) is done, and device waits give up at once.
    void shutdown();
    void disconnected();

protected:
    void run() override;

private:
    bool adoptSocket();
    void closeSession();

    SessionOptions options;
    TelemetryTask telemetry;
    Session* session = nullptr;
    SessionState lastState = SessionState::Idle;
};
