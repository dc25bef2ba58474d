#include "protocol/packetfactory.h"

#include <spdlog/spdlog.h>

QByteArray PacketFactory::progressPacket(int progress)
{
    return progressPacket(opcodes::state_measure, progress);
}

QByteArray PacketFactory::progressPacket(opcodes opcode, int progress)
{
    if (auto logger = spdlog::get("backend"))
        logger->debug("packet.opcode={} progress={}", static_cast<unsigned>(opcode), progress);
    return makePacket(opcode, progress);
}
