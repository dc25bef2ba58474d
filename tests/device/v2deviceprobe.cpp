#include "v2deviceprobe.h"

QByteArray V2DeviceProbe::frame(COMMAND command)
{
    return createFrame(command);
}

QByteArray V2DeviceProbe::frameWith(quint8 command, const QByteArray& body)
{
    QByteArray bytes("*/");
    bytes.append(static_cast<char>(command));
    bytes.append(body.left(16).leftJustified(16, ' '));
    quint8 sum = 0;
    for (int i = 2; i <= 18; ++i)
        sum = static_cast<quint8>(sum + static_cast<quint8>(bytes.at(i)));
    bytes.append(static_cast<char>(sum));
    bytes.append("#\n\r");
    return bytes;
}

void V2DeviceProbe::setLastFrameAgo(int ms)
{
    lastFrameTicks = currentTicks() - static_cast<qint64>(ms) * 10000;
}
