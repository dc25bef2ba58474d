#include "commands/silentcommands.h"

QByteArray SilentCommand::operator()(const QByteArray& /*packet*/)
{
    return {};
}
