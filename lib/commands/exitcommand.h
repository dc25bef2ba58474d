#pragma once

#include "commands/command.h"

// `exit`: closes the session; the reply still goes out before the loop ends.
class ULVEX_EXPORT ExitCommand : public Command {
public:
    using Command::Command;
    QByteArray operator()(const QByteArray& packet) override;
};
