#include "telemetry/hiddenentry.h"

#include <QFileInfo>

bool HiddenEntry::isHidden(const QFileInfo& entry)
{
    return entry.fileName().startsWith(QLatin1Char('.'));
}
