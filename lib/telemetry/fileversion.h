#pragma once

#include "ulvex_export.h"

#include <QString>

// Four-part file version (major.minor.build.revision) from the executable's
// version resource, or "0.0.0" when it cannot be read.
ULVEX_EXPORT QString fileVersionString(const QString& path);
