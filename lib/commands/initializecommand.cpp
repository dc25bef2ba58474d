#include "commands/initializecommand.h"

#include "device/device.h"
#include "link/clientthread.h"
#include "link/hardwareserver.h"
#include "link/packet.h"

InitializeCommand::InitializeCommand(QObject* parent)
    : Command(parent)
{
}

QByteArray InitializeCommand::operator()(const QByteArray& /*packet*/)
{
    Device* device = HardwareServer::getClientThread()->device;
    const std::expected<bool, status_codes> result = device->initialize();
    if (result.has_value()) {
        emit initialized();
        return makePacket(opcodes::initialization, status_codes::device_initialized);
    }
    return makePacket(opcodes::initialization, result.error());
}
