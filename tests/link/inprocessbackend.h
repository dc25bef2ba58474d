#pragma once

#include "link/hardwareserver.h"
#include "logcapture.h"
#include "testdevice.h"

#include <QSignalSpy>

class FrontendClient;
#include <functional>
#include <memory>

// The backend's server, session thread, handlers and measurement manager in
// this process, on a loopback port of its own, against a TestDevice and a
// short measurement: the program's session behaviour in milliseconds.
class InProcessBackend {
public:
    // A measurement of `totalMs` counted in ticks of `tickMs`.
    explicit InProcessBackend(int totalMs = 400, int tickMs = 20);
    ~InProcessBackend();

    quint16 port() const { return server.serverPort(); }
    // The session's device once the session has made it (set it up before
    // with `configure`, which runs on the session thread as it is made).
    TestDevice* device() const { return current.load(); }
    void configure(std::function<void(TestDevice&)> setUp) { configureDevice = std::move(setUp); }
    // Runs `change` on the session thread and waits for it.
    void onSessionThread(const std::function<void()>& change);

    // Waits until the server has handed a connection to a session thread.
    bool waitForSession(int timeoutMs = 5000);
    // Waits until the session has ended and the server has finished.
    bool waitForEnd(int timeoutMs = 5000);

    // Connects `frontend`, takes the greeting, points set_db at `personalDir`
    // and initialises the device: where a frontend stands before its first
    // measurement.
    bool readyToMeasure(FrontendClient& frontend, const QString& personalDir);

    LogCapture log;

private:
    HardwareServer server;
    QSignalSpy finished;
    std::atomic<TestDevice*> current{nullptr};
    std::function<void(TestDevice&)> configureDevice;
};
