#include "commands/commandregistry.h"

#include "config/backendlogger.h"
#include "config/qtformatters.h"

CommandRegistry::CommandRegistry(SessionAccess* session)
    : session(session)
    , logger(backendLogger())
{
}

CommandRegistry::~CommandRegistry() = default;

void CommandRegistry::registerCommand(opcodes opcode, std::unique_ptr<Command> command)
{
    const auto index = static_cast<size_t>(opcode);
    if (index >= handlerSlots.size())
        return;
    if (command)
        command->attach(session);
    // The previous handler dies here unless a running call still holds it.
    handlerSlots[index] = std::shared_ptr<Command>(std::move(command));
}

std::shared_ptr<Command> CommandRegistry::commandFor(opcodes opcode) const
{
    const auto index = static_cast<size_t>(opcode);
    if (index >= handlerSlots.size())
        return nullptr;
    return handlerSlots[index];
}

void CommandRegistry::logNotRegistered(opcodes opcode) const
{
    logger->error("Command not registered for {}", static_cast<unsigned>(opcode));
}

void CommandRegistry::logRetrieved(opcodes opcode) const
{
    logger->debug("Retrieved command for {}", opcodeName(opcode));
}
