#include "sessionfixture.h"

#include "testtools.h"

#include <QThread>

SessionFixture::~SessionFixture()
{
    frontend.close();
    if (program.process.state() != QProcess::NotRunning) {
        program.process.kill();
        program.process.waitForFinished(5000);
    }
}

bool SessionFixture::launch(const QStringList& simulatorArgs, bool withDevice)
{
    if (withDevice) {
        if (!simulator.start(simulatorArgs))
            return false;
        program.setEnv(QStringLiteral("ULVEX_DEVICE_PORT"), simulator.portPath());
    }
    program.start(ProgramRunner::launchArguments());
    return connect(frontend);
}

bool SessionFixture::connect(FrontendClient& client, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 100) {
        if (client.connectTo(QStringLiteral("127.0.0.1"), 2700, 1000))
            return true;
        QThread::msleep(100);
    }
    return false;
}

std::optional<Packet> SessionFixture::request(opcodes opcode, qint32 payload, int timeoutMs)
{
    if (!frontend.send(makePacket(opcode, payload)))
        return std::nullopt;
    return frontend.next(timeoutMs);
}

bool SessionFixture::expect(opcodes opcode, qint32 payload, int timeoutMs)
{
    return expectPacket(frontend, opcode, payload, timeoutMs);
}

bool SessionFixture::expectGreeting(int timeoutMs)
{
    return expect(opcodes::initialization, static_cast<qint32>(status_codes::service_ready), timeoutMs);
}

bool SessionFixture::launchReadyToMeasure(const QString& workDir, const QString& personalDir,
                                          const QStringList& simulatorArgs)
{
    program.process.setWorkingDirectory(workDir);
    if (!launch(simulatorArgs) || !expectGreeting()) {
        qWarning("no session: %s", qPrintable(program.logText().right(2000)));
        return false;
    }
    const QByteArray setDb = QByteArray(1, static_cast<char>(opcodes::set_db)) + personalDir.toUtf8();
    return frontend.send(setDb) && expect(opcodes::set_db, static_cast<qint32>(status_codes::database_dynamic_path))
        && frontend.send(makePacket(opcodes::initialization, 0))
        && expect(opcodes::initialization, static_cast<qint32>(status_codes::device_initialized));
}

bool SessionFixture::silentFor(int ms)
{
    const auto packet = frontend.next(ms);
    if (packet)
        qWarning("unexpected %s", qPrintable(FrontendClient::describe(*packet)));
    return !packet;
}

bool SessionFixture::waitForExit(int timeoutMs)
{
    return program.process.state() == QProcess::NotRunning || program.process.waitForFinished(timeoutMs);
}
