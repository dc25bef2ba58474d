#include "commands/commandset.h"

#include "commands/analyzingcorrectnesscommand.h"
#include "commands/commandregistry.h"
#include "commands/devicestatecommand.h"
#include "commands/exitcommand.h"
#include "commands/initializecommand.h"
#include "commands/savecommand.h"
#include "commands/setdbcommand.h"
#include "commands/startanalyzingcommand.h"

void CommandSet::installSessionCommands(CommandRegistry& registry)
{
    registry.registerCommand(opcodes::initialization, std::make_unique<InitializeCommand>(nullptr));
    registry.registerCommand(opcodes::device_state, std::make_unique<DeviceStateCommand>());
    registry.registerCommand(opcodes::exit, std::make_unique<ExitCommand>());
    registry.registerCommand(opcodes::set_db, std::make_unique<SetDbCommand>());
}

void CommandSet::installMeasurementCommands(CommandRegistry& registry)
{
    registry.registerCommand(opcodes::start_measure, std::make_unique<StartAnalyzingCommand>());
    registry.registerCommand(opcodes::state_measure, std::make_unique<Command>(nullptr));
    registry.registerCommand(opcodes::correctness_measure, std::make_unique<AnalyzingCorrectnessCommand>());
    registry.registerCommand(opcodes::end_measure, std::make_unique<Command>(nullptr));
    registry.registerCommand(opcodes::save_measure, std::make_unique<SaveCommand>());
    registry.registerCommand(opcodes::saving_progress, std::make_unique<Command>(nullptr));
    registry.registerCommand(opcodes::error, std::make_unique<Command>(nullptr));
    registry.registerCommand(opcodes::abort, std::make_unique<Command>(nullptr));
}
