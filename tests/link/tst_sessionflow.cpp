// Dispatch and the session's life, in this process: server, session thread
// and handlers against a test device, over a real loopback socket.
#include "frontendclient.h"
#include "inprocessbackend.h"
#include "testtools.h"

#include <QTest>

namespace {
constexpr qint32 noHandler = 102;

struct Conversation {
    InProcessBackend backend;
    FrontendClient frontend;

    bool start()
    {
        return frontend.connectTo(QStringLiteral("127.0.0.1"), backend.port(), 5000) && backend.waitForSession()
            && expect(opcodes::initialization, code(status_codes::service_ready));
    }
    bool expect(opcodes opcode, qint32 payload, int timeoutMs = 5000)
    {
        return expectPacket(frontend, opcode, payload, timeoutMs);
    }
    bool ask(opcodes opcode, qint32 payload, opcodes replyOpcode, qint32 reply)
    {
        return frontend.send(makePacket(opcode, payload)) && expect(replyOpcode, reply);
    }
};
} // namespace

class TestSessionFlow : public QObject {
    Q_OBJECT
private slots:
    void dispatchBeforeAndAfterInitialization();
    void coalescedPacketsAreEachAnswered();
    void disconnectEndsTheSession();
    void secondClientIsRefused();
    void failedResetIsNoInitializedDevice();
};

void TestSessionFlow::dispatchBeforeAndAfterInitialization()
{
    Conversation s;
    QVERIFY(s.start());
    QVERIFY(s.ask(opcodes::device_state, 0, opcodes::device_state, code(status_codes::device_not_initialized)));

    // Valid opcodes without a handler yet, unknown opcodes, ping.
    for (int op : {2, 3, 4, 5, 6, 7, 9, 10, 12})
        QVERIFY2(s.ask(static_cast<opcodes>(op), 0, opcodes::error, noHandler), qPrintable(QString::number(op)));
    for (int op : {13, 200, 255})
        QVERIFY(s.ask(static_cast<opcodes>(op), 0, opcodes::error, code(status_codes::unknown_packet)));

    QVERIFY(s.ask(opcodes::initialization, 0, opcodes::initialization, code(status_codes::device_initialized)));
    QVERIFY(s.ask(opcodes::device_state, 0, opcodes::device_state, code(status_codes::device_connected)));

    // Placeholders answer nothing; the session goes on.
    for (int op : {3, 5, 7, 9, 10}) {
        QVERIFY(s.frontend.send(makePacket(static_cast<opcodes>(op), 0)));
        QVERIFY2(!s.frontend.next(100).has_value(), qPrintable(QString::number(op)));
    }
    QVERIFY(s.ask(opcodes::ping, 0, opcodes::error, noHandler));

    // A second initialization replaces the measurement handlers and still answers.
    QVERIFY(s.ask(opcodes::initialization, 0, opcodes::initialization, code(status_codes::device_initialized)));
    QVERIFY(s.ask(opcodes::correctness_measure, 0, opcodes::correctness_measure,
                  code(status_codes::measurement_not_started)));
    QCOMPARE(s.backend.log.count(QStringLiteral("Unimplemented commmand")), 5);
}

void TestSessionFlow::coalescedPacketsAreEachAnswered()
{
    Conversation s;
    QVERIFY(s.start());
    QVERIFY(s.frontend.send(makePacket(opcodes::device_state, 0) + makePacket(opcodes::ping, 0)));
    QVERIFY(s.expect(opcodes::device_state, code(status_codes::device_not_initialized)));
    QVERIFY(s.expect(opcodes::error, noHandler));
    QVERIFY(!s.frontend.next(300).has_value());
}

void TestSessionFlow::disconnectEndsTheSession()
{
    Conversation s;
    QVERIFY(s.start());
    s.frontend.close();
    QVERIFY(s.backend.waitForEnd());
    QVERIFY(s.backend.log.contains(QStringLiteral("Frontend Disconnected")));
    QVERIFY(s.backend.log.contains(QStringLiteral("Frontend disconnected, exiting...")));
    QVERIFY(s.backend.log.contains(QStringLiteral("=== Thread Ended ===")));
    QVERIFY(!s.backend.log.contains(QStringLiteral("Closing...")));
}

void TestSessionFlow::secondClientIsRefused()
{
    Conversation s;
    QVERIFY(s.start());

    FrontendClient second;
    QVERIFY(second.connectTo(QStringLiteral("127.0.0.1"), s.backend.port(), 5000));
    QTest::qWait(100); // the server takes it on this thread
    QVERIFY(!second.next(1000).has_value()); // closed without a greeting
    QVERIFY(!second.connected());

    QVERIFY(s.ask(opcodes::device_state, 0, opcodes::device_state, code(status_codes::device_not_initialized)));
    QVERIFY(s.ask(opcodes::exit, 0, opcodes::exit, code(status_codes::software_closing)));
    QVERIFY(s.backend.waitForEnd());
    QVERIFY(s.backend.log.containsText(QStringLiteral("a session is already running")));
}

// A device whose reset finds no port is not reported initialized, whichever
// way its initialize says so.
void TestSessionFlow::failedResetIsNoInitializedDevice()
{
    Conversation s;
    QVERIFY(s.start());
    TestDevice* device = s.backend.device();
    QVERIFY(device);
    device->plainInitialize = true;
    device->present = false;
    // A reset that finds no port leaves it unconnected, so initialize resets again.
    s.backend.onSessionThread([device] { device->reset(); });
    QVERIFY(s.ask(opcodes::initialization, 0, opcodes::initialization, code(status_codes::device_not_connected)));
    QVERIFY(s.ask(opcodes::device_state, 0, opcodes::device_state, code(status_codes::device_not_connected)));
}

QTEST_GUILESS_MAIN(TestSessionFlow)
#include "tst_sessionflow.moc"
