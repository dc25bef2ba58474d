#pragma once

#include "commands/command.h"

// `set_db`: every byte after the opcode is the personal database's folder in UTF-8.
class ULVEX_EXPORT SetDbCommand : public Command {
    Q_OBJECT
public:
    using Command::Command;
    QByteArray operator()(const QByteArray& packet) override;
};
