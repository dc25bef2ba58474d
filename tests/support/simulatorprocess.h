#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The device simulator in a child process; `port()` is its pseudo-terminal.
class SimulatorProcess {
public:
    ~SimulatorProcess();
    bool start(const QStringList& extraArgs = {});
    void stop();
    QString port() const { return portPath; }
    QString output();

    QProcess process;

private:
    QTemporaryDir dir;
    QString portPath;
    QString collected;
};
