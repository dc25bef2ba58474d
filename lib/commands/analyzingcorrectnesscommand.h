#pragma once

#include "commands/command.h"

// `correctness_measure`: 1 or 0 while a measurement runs.
class ULVEX_EXPORT AnalyzingCorrectnessCommand : public Command {
public:
    using Command::Command;
    QByteArray operator()(const QByteArray& packet) override;
};
