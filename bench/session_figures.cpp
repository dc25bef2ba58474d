// Figures of the whole program, measured through the real binary, the device
// simulator and a loopback socket:
//  - round trip of device_state against a bare echo on the same loopback,
//  - delay between the device reset and the greeting (telemetry probe),
//  - duration of a save against its floor of 100 ms per parameter,
//  - CPU time of the program over a whole measurement session.
// Usage: bench_session_figures [requests=3000] [--no-measurement]

#include "proccpu.h"
#include "sessionfixture.h"
#include "testpaths.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

void printPercentiles(const char* label, std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    const auto at = [&](double q) { return us[std::min(us.size() - 1, size_t(q * double(us.size())))]; };
    std::printf("%-28s n=%zu  median %.1f us  p99 %.1f us  max %.1f us\n", label, us.size(), at(0.5), at(0.99),
                us.back());
}

// A bare echo server on its own thread: the floor any request/reply can reach.
class EchoThread : public QThread {
public:
    quint16 port = 0;
    QAtomicInt ready = 0;
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        port = server.serverPort();
        ready = 1;
        if (!server.waitForNewConnection(10000))
            return;
        QTcpSocket* peer = server.nextPendingConnection();
        while (peer->state() == QAbstractSocket::ConnectedState) {
            if (peer->waitForReadyRead(2000)) {
                peer->write(peer->readAll());
                peer->waitForBytesWritten(1000);
            }
        }
    }
};

std::vector<double> echoRoundTrips(int count)
{
    EchoThread echo;
    echo.start();
    while (!echo.ready)
        QThread::msleep(1);
    FrontendClient client;
    client.connectTo(QStringLiteral("127.0.0.1"), echo.port, 2000);
    std::vector<double> us;
    QElapsedTimer timer;
    for (int i = 0; i < count; ++i) {
        timer.start();
        client.send(makePacket(opcodes::device_state, 0));
        if (!client.next(2000))
            break;
        us.push_back(double(timer.nsecsElapsed()) / 1000.0);
    }
    client.close();
    echo.wait();
    return us;
}

qint64 logMillis(const QString& log, const QString& text)
{
    const QRegularExpression line(QStringLiteral("\\[(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3})\\][^\\n]*")
                                  + QRegularExpression::escape(text));
    const auto match = line.match(log);
    if (!match.hasMatch())
        return -1;
    return QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toMSecsSinceEpoch();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int requests = args.size() > 1 && args.at(1).toInt() > 0 ? args.at(1).toInt() : 3000;
    const bool measurement = !args.contains(QStringLiteral("--no-measurement"));

    SessionFixture s;
    // The real default report server: with no network the probe fails by itself.
    // Trace level, as a service technician would run it; it also gives the
    // set-up steps' time stamps used below.
    s.program.setEnv(QStringLiteral("ULVEX_BACKEND_LOG_LEVEL"), QStringLiteral("trace"));
    const bool keepDefaultServer = qEnvironmentVariableIsSet("BENCH_DEFAULT_REPORT_SERVER");
    if (keepDefaultServer)
        s.program.setEnv(QStringLiteral("ULVEX_REPORT_SERVER"), QStringLiteral("https://reports.ulvex-analyzer.com"));

    QTemporaryDir site;
    const QString work = site.filePath(QStringLiteral("a/b/c"));
    QDir().mkpath(work);
    QDir().mkpath(site.filePath(QStringLiteral("data/common")));
    QProcess::execute(testpaths::tool(QStringLiteral("ulvex-dbtool")),
                      {QStringLiteral("create-parameters"), site.filePath(QStringLiteral("data/common/parameters.db"))});
    QProcess::execute(testpaths::tool(QStringLiteral("ulvex-dbtool")),
                      {QStringLiteral("create-personal"), site.filePath(QStringLiteral("personal.db"))});
    QProcess::execute(testpaths::tool(QStringLiteral("ulvex-dbtool")),
                      {QStringLiteral("add-person"), site.filePath(QStringLiteral("personal.db")), QStringLiteral("Bench"),
                       QStringLiteral("1970-01-01"), QStringLiteral("Male"), QStringLiteral("180"), QStringLiteral("80")});
    s.program.process.setWorkingDirectory(work);

    if (!s.launch() || !s.expectGreeting()) {
        std::fprintf(stderr, "no session\n");
        return 1;
    }
    const qint64 pid = s.program.process.processId();
    const double cpuAtGreeting = processCpuSecondsOf(pid);

    std::vector<double> backendUs;
    QElapsedTimer timer;
    for (int i = 0; i < requests; ++i) {
        timer.start();
        s.frontend.send(makePacket(opcodes::device_state, 0));
        if (!s.frontend.next(5000))
            break;
        backendUs.push_back(double(timer.nsecsElapsed()) / 1000.0);
    }
    printPercentiles("device_state round trip", backendUs);
    printPercentiles("bare echo round trip", echoRoundTrips(requests));

    if (measurement) {
        s.frontend.send(QByteArray(1, static_cast<char>(opcodes::set_db)) + site.path().toUtf8());
        s.frontend.next(5000);
        s.frontend.send(makePacket(opcodes::initialization, 0));
        s.frontend.next(15000);
        s.frontend.send(makePacket(opcodes::start_measure, 1));
        s.frontend.next(30000);
        while (auto packet = s.frontend.next(60000)) {
            if (packet->opcode == opcodes::end_measure)
                break;
        }
        timer.start();
        s.frontend.send(makePacket(opcodes::save_measure, 1));
        int progress = 0;
        std::optional<Packet> packet;
        while ((packet = s.frontend.next(60000)) && packet->opcode == opcodes::saving_progress)
            ++progress;
        const double saveMs = double(timer.nsecsElapsed()) / 1e6;
        std::printf("save of %d parameters        %.0f ms (floor %d ms, overhead %.0f ms) reply %d\n", progress, saveMs,
                    progress * 100, saveMs - progress * 100.0, packet ? packet->payload : -1);
    }
    const double cpuBeforeExit = processCpuSecondsOf(pid);
    s.frontend.send(makePacket(opcodes::exit, 0));
    s.frontend.next(5000);
    s.waitForExit();

    std::printf("program CPU: %.2f s until greeting, %.2f s whole session (wall %s)\n", cpuAtGreeting, cpuBeforeExit,
                measurement ? "about 45 s with a measurement" : "requests only");
    const QString log = s.program.logText();
    const qint64 reset = logMillis(log, QStringLiteral("Device reset successful"));
    const qint64 greeting = logMillis(log, QStringLiteral("Worker is initialized, starting it now"));
    const qint64 check = logMillis(log, QStringLiteral("Server connection check done"));
    std::printf("device reset -> greeting %lld ms (telemetry step ended %lld ms before the greeting; report server %s)\n",
                static_cast<long long>(greeting - reset), static_cast<long long>(greeting - check),
                keepDefaultServer ? "default, no network" : "refused on loopback");
    return 0;
}
