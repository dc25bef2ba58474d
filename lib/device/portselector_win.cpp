#include "device/portselector.h"

QString PortSelector::namedPort(const QString& value)
{
    return comPortName(value);
}
