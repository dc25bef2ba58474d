#include "simulatorprocess.h"

#include "device/v2device.h"

SimulatorProcess::~SimulatorProcess()
{
    stop();
}

QString SimulatorProcess::program()
{
    return QStringLiteral(ULVEX_BIN_DIR "/ulvex-device-sim");
}

bool SimulatorProcess::start(const QStringList& arguments)
{
    process.setProgram(program());
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start();
    if (!process.waitForStarted(5000))
        return false;
    // The first line is the slave path; the simulator flushes it at once.
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(5000))
            return false;
    }
    path = QString::fromLocal8Bit(process.readLine()).trimmed();
    if (path.isEmpty())
        return false;
    qputenv(V2Device::portVariable, path.toLocal8Bit());
    return true;
}

void SimulatorProcess::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool SimulatorProcess::waitForExit(int ms)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(ms);
}

QByteArray SimulatorProcess::errorOutput()
{
    return process.readAllStandardError();
}
