#include "programrunner.h"

#include <QDateTime>
#include <QDir>

ProgramRunner::ProgramRunner()
    : env(QProcessEnvironment::systemEnvironment())
{
    env.insert(QStringLiteral("HOME"), homeDir.path());
    env.remove(QStringLiteral("XDG_DATA_HOME"));
    env.insert(QStringLiteral("ULVEX_BACKEND_LOG_LEVEL"), QStringLiteral("trace"));
    process.setProcessChannelMode(QProcess::MergedChannels);
}

QString ProgramRunner::programPath()
{
    return QStringLiteral(ULVEX_BIN_DIR "/Ulvexbackend");
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
    const bool ended = process.waitForFinished(timeoutMs);
    out += QString::fromUtf8(process.readAll());
    return ended;
}

int ProgramRunner::exitCode() const
{
    return process.exitCode();
}

QString ProgramRunner::logDir() const
{
    return homeDir.path() + QStringLiteral("/.local/share/Ulvex Analyzer/logs");
}
