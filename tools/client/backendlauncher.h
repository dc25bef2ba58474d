#pragma once

#include <QProcess>
#include <QString>

// The backend as the client launches it (time stamp and code, the way the
// frontend does). It runs as the client's child, tied to the client's life,
// so a client that gives up or dies never leaves it holding the port.
class BackendLauncher {
public:
    BackendLauncher() = default;
    ~BackendLauncher();
    BackendLauncher(const BackendLauncher&) = delete;
    BackendLauncher& operator=(const BackendLauncher&) = delete;

    bool start(const QString& program, int code, qint64 time);
    bool launched() const { return started; }
    qint64 pid() const { return processId; }
    // True once the backend has ended; its exit code is then in exitCode().
    bool hasExited();
    int exitCode() const { return process.exitCode(); }
    bool waitForExit(int ms);
    // Ends the backend: SIGTERM, then SIGKILL after `graceMs`. Returns once it is gone.
    void stop(int graceMs = 3000);

private:
    QProcess process;
    bool started = false;
    qint64 processId = 0;
};
