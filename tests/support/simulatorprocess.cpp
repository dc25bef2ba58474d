#include "simulatorprocess.h"

#include "device/v2device.h"
#include "testpaths.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

SimulatorProcess::~SimulatorProcess()
{
    stop();
}

QString SimulatorProcess::program()
{
    return testpaths::tool(QStringLiteral("ulvex-device-sim"));
}

bool SimulatorProcess::start(const QStringList& extraArgs)
{
    // The port file is written atomically, so a path read from it is whole.
    const QString portFile = dir.filePath(QStringLiteral("port"));
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program(), QStringList{QStringLiteral("--port-file"), portFile} + extraArgs);
    if (!process.waitForStarted(5000))
        return false;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 5000) {
        QFile file(portFile);
        if (file.open(QIODevice::ReadOnly)) {
            path = QString::fromUtf8(file.readAll()).trimmed();
            if (!path.isEmpty()) {
                qputenv(V2Device::portVariable, path.toLocal8Bit());
                return true;
            }
        }
        QThread::msleep(20);
    }
    return false;
}

void SimulatorProcess::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

bool SimulatorProcess::waitForExit(int ms)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(ms);
}
