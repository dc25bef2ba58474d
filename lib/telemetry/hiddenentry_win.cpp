#include "telemetry/hiddenentry.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

#include <string>

bool HiddenEntry::isHidden(const QFileInfo& entry)
{
    const std::wstring name = QDir::toNativeSeparators(entry.absoluteFilePath()).toStdWString();
    const DWORD attributes = GetFileAttributesW(name.c_str());
    // An entry whose attributes cannot be read (gone since the listing) is
    // not shown either: the walk has nothing to gain from it.
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    return (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
}
