#pragma once

#include "commands/command.h"

// Handlers whose operation does nothing at all, not even a log line. They
// share one implementation and differ only in name.

class ULVEX_EXPORT AbortCommand : public Command {
public:
    using Command::Command;
    QByteArray operator()(const QByteArray& packet) override;
};

class ULVEX_EXPORT EndAnalyzingCommand : public Command {
public:
    using Command::Command;
    QByteArray operator()(const QByteArray& packet) override;
};

class ULVEX_EXPORT ErrorCommand : public Command {
public:
    using Command::Command;
    QByteArray operator()(const QByteArray& packet) override;
};

class ULVEX_EXPORT StateOfAnalyzingCommand : public Command {
public:
    using Command::Command;
    QByteArray operator()(const QByteArray& packet) override;
};
