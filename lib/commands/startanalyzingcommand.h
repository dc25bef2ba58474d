#pragma once

#include "commands/command.h"

// `start_measure`: loads the person named by the payload and starts the measurement.
class ULVEX_EXPORT StartAnalyzingCommand : public Command {
public:
    using Command::Command;
    QByteArray operator()(const QByteArray& packet) override;
};
