#pragma once

#include "commands/command.h"

// `save_measure`: payload 1 saves the finished measurement, anything else discards it.
class ULVEX_EXPORT SaveCommand : public Command {
public:
    using Command::Command;
    QByteArray operator()(const QByteArray& packet) override;

    // Percentage sent to the frontend after parameter `index` of `total`.
    // A single parameter (total 0) counts as done.
    static int progressPercent(qint32 index, qint32 total);
};
