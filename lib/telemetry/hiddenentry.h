#pragma once

#include "ulvex_export.h"

class QFileInfo;

// Whether a directory entry stays out of a listing a person would see: a name
// starting with a dot on Linux; the hidden or system attribute on Windows.
class ULVEX_EXPORT HiddenEntry {
public:
    static bool isHidden(const QFileInfo& entry);
};
