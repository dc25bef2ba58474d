#include "inprocessbackend.h"

#include "link/clientthread.h"
#include "testtools.h"

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

bool InProcessBackend::readyToMeasure(FrontendClient& frontend, const QString& personalDir)
{
    return frontend.connectTo(QStringLiteral("127.0.0.1"), port(), 5000) && waitForSession()
        && expectPacket(frontend, opcodes::initialization, code(status_codes::service_ready), 5000)
        && frontend.send(QByteArray(1, static_cast<char>(opcodes::set_db)) + personalDir.toUtf8())
        && expectPacket(frontend, opcodes::set_db, code(status_codes::database_dynamic_path), 5000)
        && frontend.send(makePacket(opcodes::initialization, 0))
        && expectPacket(frontend, opcodes::initialization, code(status_codes::device_initialized), 5000);
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
