#pragma once

#include "ulvex_export.h"

class CommandRegistry;

// Which handler stands at which opcode.
class ULVEX_EXPORT CommandSet {
public:
    CommandSet() = delete;

    // Present from the session's start: initialization, device_state, exit, set_db.
    static void installSessionCommands(CommandRegistry& registry);
    // Once the device has initialized: start, correctness and save, and
    // placeholders for the opcodes only the backend sends, and abort.
    static void installMeasurementCommands(CommandRegistry& registry);
};
