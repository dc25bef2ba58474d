// The frontend link under a rough client: the whole session in this process
// (server, session thread, handlers, a test device) on a real loopback
// socket. One case per kind of rough traffic.
#include "frontendclient.h"
#include "inprocessbackend.h"
#include "link/packetreader.h"
#include "roughfrontend.h"
#include "testpaths.h"
#include "testtools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {
Packet reply(opcodes opcode, qint32 payload)
{
    return {opcode, payload};
}
Packet reply(opcodes opcode, status_codes status)
{
    return {opcode, code(status)};
}
QByteArray request(opcodes opcode, qint32 payload = 0)
{
    return makePacket(opcode, payload);
}
QByteArray setDb(const QByteArray& path)
{
    return QByteArray(1, static_cast<char>(opcodes::set_db)) + path;
}
bool dbtool(const QStringList& args, QString* output = nullptr)
{
    QProcess tool;
    tool.start(testpaths::tool(QStringLiteral("ulvex-dbtool")), args);
    const bool ok = tool.waitForFinished(30000) && tool.exitCode() == 0;
    if (output)
        *output = QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    return ok;
}
QString describe(const QList<Packet>& packets)
{
    QStringList parts;
    for (const Packet& packet : packets)
        parts << FrontendClient::describe(packet);
    return parts.join(QStringLiteral(", "));
}
bool same(const QList<Packet>& got, const QList<Packet>& expected)
{
    bool equal = got.size() == expected.size();
    for (qsizetype i = 0; equal && i < got.size(); ++i)
        equal = got[i].opcode == expected[i].opcode && got[i].payload == expected[i].payload;
    if (!equal)
        qWarning("got [%s], expected [%s]", qPrintable(describe(got)), qPrintable(describe(expected)));
    return equal;
}
// The next `count` packets; fewer if the backend goes quiet for 5 s.
QList<Packet> take(RoughFrontend& frontend, qsizetype count)
{
    QList<Packet> packets;
    while (packets.size() < count) {
        const auto packet = frontend.next(5000);
        if (!packet)
            break;
        packets << *packet;
    }
    return packets;
}
const Packet greeting = reply(opcodes::initialization, status_codes::service_ready);
const Packet notInitialized = reply(opcodes::device_state, status_codes::device_not_initialized);
} // namespace

Q_DECLARE_METATYPE(QList<Packet>)

class TestRoughFrontend : public QObject {
    Q_OBJECT
private slots:
    void earlyRequestsWaitForTheGreeting_data();
    void earlyRequestsWaitForTheGreeting();
    void pipelinedRequestsAreEachAnswered_data();
    void pipelinedRequestsAreEachAnswered();
    void splitRequestsKeepTheirMeaning_data();
    void splitRequestsKeepTheirMeaning();
    void setDbGathersItsWholePath_data();
    void setDbGathersItsWholePath();
    void floodDuringSetUpEndsTheSession();
    void halfClosedFrontendGetsItsAnswers_data();
    void halfClosedFrontendGetsItsAnswers();
    void splitSaveThenHalfCloseSavesAndSaysSo();

private:
    // Connects the rough frontend to a new session, before any greeting;
    // the device takes `resetMs` to reset (none when `withDevice` is false).
    bool start(InProcessBackend& s, RoughFrontend& frontend, bool withDevice = true, int resetMs = 300);
    bool startGreeted(InProcessBackend& s, RoughFrontend& frontend);
};

bool TestRoughFrontend::start(InProcessBackend& s, RoughFrontend& frontend, bool withDevice, int resetMs)
{
    s.configure([=](TestDevice& device) {
        device.present = withDevice;
        device.resetMs = resetMs;
    });
    return frontend.connect(5000, s.port()) && s.waitForSession();
}

bool TestRoughFrontend::startGreeted(InProcessBackend& s, RoughFrontend& frontend)
{
    return start(s, frontend, true, 0) && same(take(frontend, 1), {greeting});
}

void TestRoughFrontend::earlyRequestsWaitForTheGreeting_data()
{
    QTest::addColumn<bool>("withDevice");
    QTest::addColumn<QList<Packet>>("expected");
    // Start without a person database: refused, but by the start handler.
    QTest::newRow("device present")
        << true
        << QList{greeting, reply(opcodes::initialization, status_codes::device_initialized),
                 reply(opcodes::device_state, status_codes::device_connected),
                 reply(opcodes::start_measure, status_codes::measurement_not_started),
                 reply(opcodes::exit, status_codes::software_closing)};
    // Set-up fails: the held requests get no answer.
    QTest::newRow("no device") << false << QList{reply(opcodes::error, status_codes::device_error)};
}

void TestRoughFrontend::earlyRequestsWaitForTheGreeting()
{
    QFETCH(bool, withDevice);
    QFETCH(QList<Packet>, expected);
    InProcessBackend s;
    RoughFrontend frontend;
    QVERIFY(start(s, frontend, withDevice));
    // Sent while the device is reset, one request per write. Without a
    // device the session may already be gone after the first.
    for (const QByteArray& bytes : {request(opcodes::initialization), request(opcodes::device_state),
                                    request(opcodes::start_measure, 1), request(opcodes::exit)}) {
        if (!frontend.send(bytes) && withDevice)
            QFAIL("could not send");
        QThread::msleep(withDevice ? 100 : 0);
    }
    const auto packets = frontend.untilClosed(30000);
    QVERIFY(packets.has_value());
    QVERIFY(same(*packets, expected));
    QVERIFY(s.waitForEnd());
    QCOMPARE(s.log.containsText(QStringLiteral("Deserialized packet")), withDevice);
}

void TestRoughFrontend::pipelinedRequestsAreEachAnswered_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<Packet>>("expected");
    QTest::newRow("two alike") << request(opcodes::device_state) + request(opcodes::device_state)
                               << QList{notInitialized, notInitialized};
    QTest::newRow("mixed") << request(opcodes::device_state) + request(opcodes::ping) + request(static_cast<opcodes>(200))
                                  + request(opcodes::initialization) + request(opcodes::device_state)
                           << QList{notInitialized, reply(opcodes::error, 102),
                                    reply(opcodes::error, status_codes::unknown_packet),
                                    reply(opcodes::initialization, status_codes::device_initialized),
                                    reply(opcodes::device_state, status_codes::device_connected)};
    QTest::newRow("packet then path") << request(opcodes::device_state) + setDb("/tmp/ulvex-pipelined")
                                      << QList{notInitialized, reply(opcodes::set_db, status_codes::database_dynamic_path)};
}

void TestRoughFrontend::pipelinedRequestsAreEachAnswered()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<Packet>, expected);
    InProcessBackend s;
    RoughFrontend frontend;
    QVERIFY(startGreeted(s, frontend));
    QVERIFY(frontend.send(bytes));
    QVERIFY(same(take(frontend, expected.size()), expected));
    QVERIFY(!frontend.next(500).has_value());
}

void TestRoughFrontend::splitRequestsKeepTheirMeaning_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<int>>("pieces");
    QTest::addColumn<QList<Packet>>("expected");
    // Read as one byte, device_state's zero payload would run as `initialization`.
    const QByteArray state = request(opcodes::device_state);
    QTest::newRow("1+4") << state << QList{1, 4} << QList{notInitialized};
    QTest::newRow("4+1") << state << QList{4, 1} << QList{notInitialized};
    QTest::newRow("byte by byte") << state << QList{1, 1, 1, 1, 1} << QList{notInitialized};
    QTest::newRow("two packets 3+4+3") << state + request(opcodes::ping) << QList{3, 4, 3}
                                       << QList{notInitialized, reply(opcodes::error, 102)};
    // Nothing completes it: after the wait it is read as it stands.
    QTest::newRow("short packet alone") << QByteArray(1, static_cast<char>(opcodes::device_state)) << QList{1}
                                        << QList{notInitialized};
    // A path ends where the next request's opcode (a control byte) begins.
    const Packet pathTaken = reply(opcodes::set_db, status_codes::database_dynamic_path);
    QTest::newRow("path, then a request in its own write")
        << setDb("/tmp/ulvex-split") + request(opcodes::device_state) << QList{17, 5} << QList{pathTaken, notInitialized};
    QTest::newRow("empty path, then a request") << setDb({}) + request(opcodes::device_state) << QList{1, 5}
                                                << QList{pathTaken, notInitialized};
    QTest::newRow("exit while a path arrives") << setDb("/tmp/ulvex-exit") + request(opcodes::exit) << QList{8, 8, 4}
                                               << QList{pathTaken, reply(opcodes::exit, status_codes::software_closing)};
    QTest::newRow("NUL ends a path") << setDb("/tmp/a") + request(opcodes::initialization) << QList{1}
                                     << QList{pathTaken, reply(opcodes::initialization, status_codes::device_initialized)};
}

void TestRoughFrontend::splitRequestsKeepTheirMeaning()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<int>, pieces);
    QFETCH(QList<Packet>, expected);
    InProcessBackend s;
    RoughFrontend frontend;
    QVERIFY(startGreeted(s, frontend));
    // Pauses well inside the fragment wait.
    QVERIFY(frontend.sendInPieces(bytes, pieces, PacketReader::fragmentWaitMs / 4));
    QVERIFY(same(take(frontend, expected.size()), expected));
    QVERIFY(!frontend.next(500).has_value());
}

void TestRoughFrontend::setDbGathersItsWholePath_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QList<int>>("pieces");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("logged");
    const QByteArray path = "/tmp/ulvex-rough/dbfolder";
    QTest::newRow("one write") << path << QList{1} << true << QStringLiteral("Dynamic db path: ") + path;
    QTest::newRow("opcode, then path") << path << QList{1, 1} << true << QStringLiteral("Dynamic db path: ") + path;
    QTest::newRow("in three pieces") << path << QList{1, 6, 1} << true << QStringLiteral("Dynamic db path: ") + path;
    QTest::newRow("one byte over the limit") << QByteArray(PacketReader::maxPathBytes + 1, 'a') << QList{1} << false
                                             << QStringLiteral("Refused database path (%1 bytes)").arg(PacketReader::maxPathBytes + 1);
    QTest::newRow("a megabyte") << QByteArray(1024 * 1024, 'a') << QList{1} << false
                                << QStringLiteral("Refused database path (%1 bytes)").arg(PacketReader::maxPathBytes + 1);
}

void TestRoughFrontend::setDbGathersItsWholePath()
{
    QFETCH(QByteArray, path);
    QFETCH(QList<int>, pieces);
    QFETCH(bool, accepted);
    QFETCH(QString, logged);
    InProcessBackend s;
    RoughFrontend frontend;
    QVERIFY(startGreeted(s, frontend));
    QVERIFY(frontend.sendInPieces(setDb(path), pieces, PacketReader::fragmentWaitMs / 4));
    const Packet answer = reply(opcodes::set_db, accepted ? status_codes::database_dynamic_path
                                                          : status_codes::database_missing);
    QVERIFY(same(take(frontend, 1), {answer}));
    // Exactly one answer; nothing of the path is read as requests.
    QVERIFY(frontend.send(request(opcodes::device_state)));
    QVERIFY(same(take(frontend, 1), {notInitialized}));
    QVERIFY(!frontend.next(300).has_value());
    QVERIFY(s.log.containsText(logged));
}

void TestRoughFrontend::floodDuringSetUpEndsTheSession()
{
    InProcessBackend s;
    RoughFrontend frontend;
    // The device's reset outlasts the flood.
    QVERIFY(start(s, frontend, true, 5000));
    const qint64 written = frontend.flood(request(opcodes::device_state), 10 * 1024 * 1024);
    qInfo("flooded %lld bytes before the backend stopped taking them", static_cast<long long>(written));
    const auto packets = frontend.untilClosed(30000);
    QVERIFY(packets.has_value());
    QVERIFY2(packets->isEmpty(), qPrintable(describe(*packets))); // closed without serving
    // The reset gives up at once: the session does not wait it out.
    QVERIFY(s.waitForEnd(3000));
    QCOMPARE(s.log.messages().filter(QStringLiteral("bytes of requests are waiting; closing the session")).size(), 1);
    QVERIFY(!s.log.containsText(QStringLiteral("Deserialized packet")));
}

void TestRoughFrontend::halfClosedFrontendGetsItsAnswers_data()
{
    QTest::addColumn<bool>("early");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<Packet>>("expected");
    QTest::newRow("one request") << false << request(opcodes::device_state) << QList{notInitialized};
    QTest::newRow("exit") << false << request(opcodes::exit)
                          << QList{reply(opcodes::exit, status_codes::software_closing)};
    QTest::newRow("pipelined") << false << request(opcodes::device_state) + request(opcodes::ping)
                               << QList{notInitialized, reply(opcodes::error, 102)};
    QTest::newRow("short packet") << false << QByteArray(1, static_cast<char>(opcodes::device_state))
                                  << QList{notInitialized};
    QTest::newRow("path") << false << setDb("/tmp/ulvex-half-closed")
                          << QList{reply(opcodes::set_db, status_codes::database_dynamic_path)};
    QTest::newRow("before the greeting") << true << request(opcodes::device_state) << QList{greeting, notInitialized};
}

void TestRoughFrontend::halfClosedFrontendGetsItsAnswers()
{
    QFETCH(bool, early);
    QFETCH(QByteArray, bytes);
    QFETCH(QList<Packet>, expected);
    InProcessBackend s;
    RoughFrontend frontend;
    QVERIFY(early ? start(s, frontend) : startGreeted(s, frontend));
    QVERIFY(frontend.send(bytes));
    QVERIFY(frontend.halfClose());
    const auto packets = frontend.untilClosed(30000);
    QVERIFY(packets.has_value());
    QVERIFY(same(*packets, expected));
    QVERIFY(s.waitForEnd());
    QVERIFY(!s.log.containsText(QStringLiteral("Failed to send response")));
}

void TestRoughFrontend::splitSaveThenHalfCloseSavesAndSaysSo()
{
    // The backend finds parameters.db at ../../../data/common from its
    // working directory; the person database lies where set_db points.
    QTemporaryDir root;
    const QString workDir = root.filePath(QStringLiteral("install/bin/a/b"));
    const QString personalDir = root.filePath(QStringLiteral("personal"));
    const QString parameters = root.filePath(QStringLiteral("install/data/common/parameters.db"));
    QVERIFY(QDir().mkpath(workDir) && QDir().mkpath(personalDir) && QDir().mkpath(QFileInfo(parameters).path()));
    QVERIFY(dbtool({QStringLiteral("create-parameters"), parameters}));
    QVERIFY(dbtool({QStringLiteral("create-personal"), personalDir + QStringLiteral("/personal.db")}));
    QString added;
    QVERIFY(dbtool({QStringLiteral("add-person"), personalDir + QStringLiteral("/personal.db"), QStringLiteral("Ada Test"),
                    QStringLiteral("1980-05-17"), QStringLiteral("Female"), QStringLiteral("168"), QStringLiteral("61")},
                   &added));
    const qint32 personId = added.section(QLatin1Char(' '), -1).toInt();
    QVERIFY(personId > 0);

    InProcessBackend s;
    RoughFrontend frontend;
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workDir));
    const auto restore = qScopeGuard([&] { QDir::setCurrent(before); });
    // Path, initialization and start in one write, before the greeting.
    QVERIFY(start(s, frontend));
    QVERIFY(frontend.send(setDb(personalDir.toUtf8())));
    QThread::msleep(2 * PacketReader::fragmentWaitMs);
    QVERIFY(frontend.send(request(opcodes::initialization) + request(opcodes::start_measure, personId)));
    QVERIFY(same(take(frontend, 4), {greeting, reply(opcodes::set_db, status_codes::database_dynamic_path),
                                     reply(opcodes::initialization, status_codes::device_initialized),
                                     reply(opcodes::start_measure, status_codes::measurement_started)}));
    std::optional<Packet> packet;
    while ((packet = frontend.next(5000)) && packet->opcode == opcodes::state_measure) {
    }
    QVERIFY(packet.has_value());
    QCOMPARE(packet->opcode, opcodes::end_measure);

    // save_measure 1 as one byte and then four, then the sending side shut.
    QVERIFY(frontend.sendInPieces(request(opcodes::save_measure, 1), {1, 4}, PacketReader::fragmentWaitMs / 4));
    QVERIFY(frontend.halfClose());
    const auto packets = frontend.untilClosed(60000);
    QVERIFY(packets.has_value());
    QVERIFY(packets->size() > 1);
    for (qsizetype i = 0; i + 1 < packets->size(); ++i)
        QCOMPARE(packets->at(i).opcode, opcodes::saving_progress);
    QVERIFY(same({packets->last()}, {reply(opcodes::save_measure, status_codes::measurement_saved)}));
    QVERIFY(s.waitForEnd());
}

QTEST_GUILESS_MAIN(TestRoughFrontend)
#include "tst_roughfrontend.moc"
