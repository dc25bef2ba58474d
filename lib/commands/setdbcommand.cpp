#include "commands/setdbcommand.h"

#include "config/qtformatters.h"
#include "config/settings.h"
#include "protocol/packet.h"

QByteArray SetDbCommand::operator()(const QByteArray& packet)
{
    const Packet request = readPacket(packet);
    const QByteArray pathBytes = packet.mid(1);
    // A path the system cannot open as given is refused, not applied: a NUL
    // would cut it short where SQLite opens it, and an over-long one fails.
    if (pathBytes.size() > maxDbPathBytes || pathBytes.contains('\0')) {
        logger->error("Refused database path ({} bytes{}): {}", pathBytes.size(),
                      pathBytes.contains('\0') ? ", holds a NUL byte" : "",
                      QString::fromUtf8(pathBytes.left(256)).replace(QChar(0), QStringLiteral("\\0")));
        return makePacket(request.opcode, status_codes::database_missing);
    }
    const QString path = QString::fromUtf8(pathBytes);
    Settings::instance().setDynamicDbPath(path);
    logger->debug("Dynamic db path: {}", path);
    return makePacket(request.opcode, status_codes::database_dynamic_path);
}
