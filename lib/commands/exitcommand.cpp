#include "commands/exitcommand.h"

#include "commands/sessionaccess.h"
#include "protocol/packet.h"

QByteArray ExitCommand::operator()(const QByteArray& /*packet*/)
{
    session()->close();
    return makePacket(opcodes::exit, status_codes::software_closing);
}
