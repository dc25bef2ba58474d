#pragma once

#include "link/commandregistry.h"
#include "link/requestqueue.h"
#include "link/sessionstate.h"
#include "telemetry/telemetrytask.h"
#include "ulvex_export.h"

#include <QByteArray>
#include <QIODevice>
#include <QPointer>
#include <QTcpSocket>
#include <QThread>
#include <atomic>
#include <expected>
#include <memory>
#include <spdlog/logger.h>

class Device;
class MeasurementManager;

// One frontend session on a thread of its own. The object itself lives on the
// thread that created it (the main thread); the socket, the device and the
// measurement manager are created in run() and live on the session thread,
// where all packet handling happens.
class ULVEX_EXPORT ClientThread : public QThread {
    Q_OBJECT
public:
    explicit ClientThread(int socketDescriptor, QObject* parent = nullptr);
    ~ClientThread() override;

    // Writes and waits for the bytes to leave; the result is the number of
    // bytes written or the socket's error text.
    static std::expected<int, QString> sendPacket(QIODevice* socket, const QByteArray& bytes);

    QByteArray handlePacket(const QByteArray& message);
    void setState(SessionState newState);
    SessionState currentState() const { return static_cast<SessionState>(state.load()); }

    std::shared_ptr<spdlog::logger> logger;
    std::atomic<qint32> state{0};
    std::atomic_bool shuttingDown{false};
    CommandRegistry commands;
    QTcpSocket* socket = nullptr;
    Device* device = nullptr;
    MeasurementManager* measurementManager = nullptr;
    qintptr socketDescriptor;

signals:
    void error(QTcpSocket::SocketError socketError);
    void saved();
    void discarded();

public slots:
    void readyRead();
    void shutdown();
    void disconnected();

private slots:
    void measurementProgress(int progress);
    void initHandlers();
    void onMeasurementStarted();
    void onMeasurementFinished();
    void onMeasurementSaved();
    void onMeasurementDiscarded();

protected:
    void run() override;

private:
    bool setUpSession();
    void connectDevice();
    void connectMeasurement();
    void onStateChanged(SessionState oldState, SessionState newState);
    void dispatch(const QByteArray& message);
    void closeSession();
    void freeSessionObjects();

    RequestQueue requests;
    TelemetryTask telemetry;
    QMetaObject::Connection progressConnection;
    // Lives on the session thread; queued work meant for that thread uses it as context.
    QObject* sessionContext = nullptr;

};
