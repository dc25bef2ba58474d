#include "inprocessbackend.h"

#include "link/clientthread.h"

#include <QTest>

InProcessBackend::InProcessBackend(int totalMs, int tickMs)
    : server(nullptr, 0)
    , finished(&server, &HardwareServer::finished)
{
    qputenv("ULVEX_REPORT_SERVER", "off");
    SessionOptions options;
    options.makeDevice = [this] {
        auto* device = new TestDevice();
        if (configureDevice)
            configureDevice(*device);
        current = device;
        return device;
    };
    options.measurementTotalMs = totalMs;
    options.measurementTickMs = tickMs;
    options.telemetry = false;
    server.setSessionOptions(std::move(options));
    server.startServer();
}

InProcessBackend::~InProcessBackend()
{
    current = nullptr;
}

void InProcessBackend::onSessionThread(const std::function<void()>& change)
{
    if (TestDevice* device = current.load())
        QMetaObject::invokeMethod(device, change, Qt::BlockingQueuedConnection);
}

bool InProcessBackend::waitForSession(int timeoutMs)
{
    // The server accepts on this thread's event loop.
    return QTest::qWaitFor([this] { return HardwareServer::getClientThread() != nullptr; }, timeoutMs);
}

bool InProcessBackend::waitForEnd(int timeoutMs)
{
    const bool ended = QTest::qWaitFor([this] { return finished.count() > 0; }, timeoutMs);
    if (ended)
        current = nullptr;
    return ended;
}
