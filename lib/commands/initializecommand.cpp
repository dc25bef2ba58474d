#include "commands/initializecommand.h"

#include "commands/sessionaccess.h"
#include "device/device.h"
#include "protocol/packet.h"

InitializeCommand::InitializeCommand(QObject* parent)
    : Command(parent)
{
}

QByteArray InitializeCommand::operator()(const QByteArray& /*packet*/)
{
    const std::expected<bool, status_codes> result = session()->device()->initialize();
    if (result.has_value()) {
        emit initialized();
        return makePacket(opcodes::initialization, status_codes::device_initialized);
    }
    return makePacket(opcodes::initialization, result.error());
}
