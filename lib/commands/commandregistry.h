#pragma once

#include "commands/command.h"
#include "protocol/packet.h"
#include "ulvex_export.h"

#include <array>
#include <memory>
#include <spdlog/logger.h>
#include <stdexcept>

// The session's handler table: one slot per valid opcode. Slots hold shared
// ownership so a handler replaced while it runs (a nested event loop inside
// it can trigger the replacement) stays alive until its call returns. Used on
// the session's thread only. Each handler registered is attached to `session`.
class ULVEX_EXPORT CommandRegistry {
public:
    static constexpr int slotCount = 13;

    explicit CommandRegistry(SessionAccess* session = nullptr);
    ~CommandRegistry();

    CommandRegistry(const CommandRegistry&) = delete;
    CommandRegistry& operator=(const CommandRegistry&) = delete;

    void registerCommand(opcodes opcode, std::unique_ptr<Command> command);

    // The handler at `opcode` as T; throws when the slot is empty.
    template <typename T>
    T* getCommand(opcodes opcode)
    {
        std::shared_ptr<Command> command = commandFor(opcode);
        if (!command) {
            logNotRegistered(opcode);
            throw std::runtime_error("Command not registered for this opcode");
        }
        logRetrieved(opcode);
        return dynamic_cast<T*>(command.get());
    }

    // The handler at `opcode`, or null; no logging. Callers keep the returned
    // pointer for the duration of the call.
    std::shared_ptr<Command> commandFor(opcodes opcode) const;

private:
    void logNotRegistered(opcodes opcode) const;
    void logRetrieved(opcodes opcode) const;

    SessionAccess* session;
    std::array<std::shared_ptr<Command>, slotCount> handlerSlots;
    std::shared_ptr<spdlog::logger> logger;
};
