#include "testpaths.h"

namespace testpaths {

QString binDir()
{
    return QStringLiteral(ULVEX_BIN_DIR);
}

QString tool(const QString& name)
{
    return binDir() + QLatin1Char('/') + name;
}

QString sourceDir()
{
    return QStringLiteral(ULVEX_SOURCE_DIR);
}

} // namespace testpaths
