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
    if (result.has_value() && *result) {
        emit initialized();
        return makePacket(opcodes::initialization, status_codes::device_initialized);
    }
    // A device's own initialize may say "false" for a reset that found no
    // port: that is no initialized device either.
    return makePacket(opcodes::initialization,
                      result.has_value() ? status_codes::device_not_connected : result.error());
}
