#include "commands/devicestatecommand.h"

#include "commands/sessionaccess.h"
#include "device/device.h"
#include "protocol/packet.h"

QByteArray DeviceStateCommand::operator()(const QByteArray& /*packet*/)
{
    const Device* device = session()->device();
    if (!device->isConnected())
        return makePacket(opcodes::device_state, status_codes::device_not_connected);
    if (device->isInitialized())
        return makePacket(opcodes::device_state, status_codes::device_connected);
    return makePacket(opcodes::device_state, status_codes::device_not_initialized);
}
