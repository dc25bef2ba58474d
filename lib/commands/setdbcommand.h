#pragma once

#include "commands/command.h"

// `set_db`: every byte after the opcode is the personal database's folder in
// UTF-8. A path longer than the system's limit or holding a NUL byte is not
// applied; the reply is then `database_missing` instead of `database_dynamic_path`.
class ULVEX_EXPORT SetDbCommand : public Command {
public:
    using Command::Command;
    QByteArray operator()(const QByteArray& packet) override;
};
