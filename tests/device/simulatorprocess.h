#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Runs ulvex-device-sim for a test and points ULVEX_DEVICE_PORT at it.
class SimulatorProcess {
public:
    SimulatorProcess() = default;
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // Starts the simulator with the given options and waits for its port.
    bool start(const QStringList& arguments = {});
    void stop();
    QString portPath() const { return path; }
    bool isRunning() const { return process.state() != QProcess::NotRunning; }
    // Waits for the process to end by itself (e.g. after --unplug-after).
    bool waitForExit(int ms);
    QByteArray errorOutput();

    static QString program();

private:
    QProcess process;
    QString path;
};
