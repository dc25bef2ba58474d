#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The device simulator in a child process. Starting it also points
// ULVEX_DEVICE_PORT of this process at its pseudo-terminal.
class SimulatorProcess {
public:
    SimulatorProcess() = default;
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    static QString program();

    // Starts the simulator with the given options and waits for its port.
    bool start(const QStringList& extraArgs = {});
    void stop();
    QString portPath() const { return path; }
    bool isRunning() const { return process.state() != QProcess::NotRunning; }
    // Waits for the process to end by itself (e.g. after --unplug-after).
    bool waitForExit(int ms);
    QByteArray errorOutput() { return process.readAllStandardError(); }

    QProcess process;

private:
    QTemporaryDir dir;
    QString path;
};
