#include "commands/setdbcommand.h"

#include "config/qtformatters.h"
#include "config/settings.h"
#include "link/packet.h"

QByteArray SetDbCommand::operator()(const QByteArray& packet)
{
    const Packet request = readPacket(packet);
    const QString path = QString::fromUtf8(packet.mid(1));
    Settings::instance().setDynamicDbPath(path);
    logger->debug("Dynamic db path: {}", path);
    return makePacket(request.opcode, status_codes::database_dynamic_path);
}
