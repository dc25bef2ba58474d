#include "commands/exitcommand.h"

#include "link/clientthread.h"
#include "link/hardwareserver.h"
#include "link/packet.h"

QByteArray ExitCommand::operator()(const QByteArray& /*packet*/)
{
    HardwareServer::getClientThread()->shutdown();
    return makePacket(opcodes::exit, status_codes::software_closing);
}
