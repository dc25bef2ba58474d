#include "commands/devicestatecommand.h"

#include "device/device.h"
#include "link/clientthread.h"
#include "link/hardwareserver.h"
#include "link/packet.h"

QByteArray DeviceStateCommand::operator()(const QByteArray& /*packet*/)
{
    const Device* device = HardwareServer::getClientThread()->device;
    if (!device->isConnected())
        return makePacket(opcodes::device_state, status_codes::device_not_connected);
    if (device->isInitialized())
        return makePacket(opcodes::device_state, status_codes::device_connected);
    return makePacket(opcodes::device_state, status_codes::device_not_initialized);
}
