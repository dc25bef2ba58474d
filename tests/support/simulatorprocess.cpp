#include "simulatorprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

SimulatorProcess::~SimulatorProcess()
{
    stop();
}

bool SimulatorProcess::start(const QStringList& extraArgs)
{
    const QString portFile = dir.filePath(QStringLiteral("port"));
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(QStringLiteral(ULVEX_BIN_DIR "/ulvex-device-sim"),
                  QStringList{QStringLiteral("--port-file"), portFile} + extraArgs);
    if (!process.waitForStarted(5000))
        return false;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 5000) {
        QFile file(portFile);
        if (file.open(QIODevice::ReadOnly)) {
            portPath = QString::fromUtf8(file.readAll()).trimmed();
            if (!portPath.isEmpty())
                return true;
        }
        QThread::msleep(20);
    }
    return false;
}

void SimulatorProcess::stop()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
}

QString SimulatorProcess::output()
{
    collected += QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    return collected;
}
