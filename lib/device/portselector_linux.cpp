#include "device/portselector.h"

QString PortSelector::namedPort(const QString& value)
{
    // A device path or a name under /dev, as the serial port takes it.
    return value;
}
