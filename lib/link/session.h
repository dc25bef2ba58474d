#pragma once

#include "commands/commandregistry.h"
#include "commands/sessionaccess.h"
#include "link/requestqueue.h"
#include "link/sessionoptions.h"
#include "link/sessionstate.h"
#include "ulvex_export.h"

#include <QByteArray>
#include <QObject>
#include <atomic>
#include <memory>
#include <spdlog/logger.h>

class Device;
class MeasurementManager;
class QAbstractSocket;

// One frontend session's state and its answers: the only owner of the session
// state, of "results ready" and of when requests are answered. Lives on the
// session thread, which runs everything it does; the measurement manager's
// ticks, start and end reach it directly there.
class ULVEX_EXPORT Session : public QObject, public SessionAccess {
    Q_OBJECT
public:
    // `socket` and `device` belong to the caller and live on this thread.
    // `stopRequested` is raised by whoever ends the session, from any thread.
    Session(QAbstractSocket* socket, Device* device, const SessionOptions& options,
            const std::atomic_bool& stopRequested, QObject* parent = nullptr);
    ~Session() override;

    // Resets the device and makes the measurement manager; false (and
    // `error`/`device_error` sent) when the device cannot be reset.
    bool setUp();
    // Greets the frontend and answers from now on.
    void greet();

    QByteArray handlePacket(const QByteArray& message);
    void setState(SessionState newState);
    SessionState state() const { return static_cast<SessionState>(stateValue.load()); }
    CommandRegistry& commands() { return registry; }

    Device* device() const override { return sessionDevice; }
    MeasurementManager* measurementManager() const override { return manager.get(); }
    bool resultsReady() const override;
    void notify(const QByteArray& packet) override;
    void replaceFinishedMeasurement() override;
    void measurementSaved() override;
    void measurementDiscarded() override;
    void close() override;

    // A frontend that never reads makes the replies pile up; past this many
    // unsent bytes requests wait until it reads again.
    static constexpr qint64 writeBacklogLimit = 64 * 1024;

signals:
    // The session is to end (exit request, a flood, a socket that is gone).
    void closeRequested();
    void saved();
    void discarded();

private:
    void initHandlers();
    void connectDevice();
    void connectMeasurement();
    void receive();
    bool mayAnswer() const;
    void answer(const QByteArray& message);
    void send(const QByteArray& bytes);
    void forwardTick(int remaining);
    void onStateChanged(SessionState oldState, SessionState newState);

    std::shared_ptr<spdlog::logger> logger;
    QAbstractSocket* socket;
    Device* sessionDevice;
    SessionOptions options;
    const std::atomic_bool& stopRequested;
    std::unique_ptr<MeasurementManager> manager;
    CommandRegistry registry{this};
    RequestQueue inbox;
    // Read from other threads (ClientThread::currentState); written here only.
    std::atomic<qint32> stateValue{static_cast<qint32>(SessionState::Idle)};
    bool greeted = false;
    bool dispatching = false;
    bool forwardingTicks = false;
    // Set while a start replaces a finished measurement: its new person stays.
    bool keepPerson = false;
};
