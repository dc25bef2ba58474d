#pragma once

#include "ulvex_export.h"

#include <QString>

class QFile;

// Reads of files found on disk by name, where a FIFO, a device or a socket may
// stand under any name: only regular files are opened, and opening never blocks.
class ULVEX_EXPORT RegularFile {
public:
    // True when `path` (links followed) is a regular file.
    static bool exists(const QString& path);
    // Opens `path` read-only into `file` when it is a regular file; false otherwise.
    static bool open(const QString& path, QFile& file);
};
