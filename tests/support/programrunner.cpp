#include "programrunner.h"
#include "testpaths.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

ProgramRunner::ProgramRunner()
    : env(QProcessEnvironment::systemEnvironment())
{
    env.insert(QStringLiteral("HOME"), homeDir.path());
    env.remove(QStringLiteral("XDG_DATA_HOME"));
    env.insert(QStringLiteral("ULVEX_BACKEND_LOG_LEVEL"), QStringLiteral("trace"));
    // Nothing listens on the discard port: the connectivity probe fails at
    // once and no test depends on the network.
    env.insert(QStringLiteral("ULVEX_REPORT_SERVER"), QStringLiteral("http://127.0.0.1:9"));
    env.remove(QStringLiteral("ULVEX_DEVICE_PORT"));
    // Telemetry looks for the frontend only inside the test's own folder, so
    // nothing above it (a stray file named like a frontend) decides the outcome.
    QDir(homeDir.path()).mkpath(QStringLiteral("frontend"));
    env.insert(QStringLiteral("ULVEX_FRONTEND_ROOT"), homeDir.filePath(QStringLiteral("frontend")));
    // The console log goes to a file: a pipe nobody drains would fill up and
    // block the program's logging (and with it the program).
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(homeDir.filePath(QStringLiteral("console.txt")));
}

QString ProgramRunner::programPath()
{
    // ULVEX_TEST_PROGRAM runs these tests against another build of the program,
    // e.g. the Windows one under Wine through tests/windows/wine-program.sh.
    const QString other = qEnvironmentVariable("ULVEX_TEST_PROGRAM");
    return other.isEmpty() ? testpaths::tool(QStringLiteral("Ulvexbackend")) : other;
}

QStringList ProgramRunner::launchArguments(int code)
{
    return {QString::number(QDateTime::currentSecsSinceEpoch()), QString::number(code)};
}

void ProgramRunner::start(const QStringList& arguments)
{
    process.setProcessEnvironment(env);
    process.start(programPath(), arguments);
    process.waitForStarted();
}

bool ProgramRunner::run(const QStringList& arguments, int timeoutMs)
{
    start(arguments);
    return process.waitForFinished(timeoutMs);
}

QString ProgramRunner::output() const
{
    QFile file(homeDir.filePath(QStringLiteral("console.txt")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

int ProgramRunner::exitCode() const
{
    return process.exitCode();
}

QString ProgramRunner::logDir() const
{
    return homeDir.path() + QStringLiteral("/.local/share/Ulvex Analyzer/logs");
}

QString ProgramRunner::logText() const
{
    const QString name = QStringLiteral("backend_%1.txt").arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    QFile file(logDir() + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

bool ProgramRunner::waitForLog(const QString& text, int timeoutMs) const
{
    QElapsedTimer timer;
    timer.start();
    while (!logText().contains(text)) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(50);
    }
    return true;
}
