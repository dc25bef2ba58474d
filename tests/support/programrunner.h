#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// Runs the real program as the frontend would, in a throw-away HOME so its log
// lands in a folder the test owns.
class ProgramRunner {
public:
    ProgramRunner();

    static QString programPath();
    static QStringList launchArguments(int code = 1000);

    QProcessEnvironment environment() const { return env; }
    void setEnv(const QString& name, const QString& value) { env.insert(name, value); }

    // Starts the program and waits for it to end; returns false on time-out.
    bool run(const QStringList& arguments, int timeoutMs = 30000);
    void start(const QStringList& arguments);

    int exitCode() const;
    QProcess::ExitStatus exitStatus() const { return process.exitStatus(); }
    // What the program has written to its console so far.
    QString output() const;
    QString logDir() const;
    // Today's log file of the program, as far as it has been written.
    QString logText() const;
    // Waits until the log holds `text`; false after `timeoutMs`.
    bool waitForLog(const QString& text, int timeoutMs) const;
    QString home() const { return homeDir.path(); }

    QProcess process;

private:
    QTemporaryDir homeDir;
    QProcessEnvironment env;
};
