#pragma once

#include "ulvex_export.h"

#include <QString>
#include <optional>

// Looks for the frontend's uninstaller below the default search root and
// returns the absolute path of the executable named after it (which need not
// exist). Nothing when no uninstaller was found within the bounds.
ULVEX_EXPORT std::optional<QString> findFrontend();
// The walk is breadth-first, so the uninstaller nearest to the root wins. It
// goes at most maxDepth levels below root, looks at no more than maxEntries
// directory entries, does not follow directory links and skips unreadable
// directories and hidden entries (dot names; hidden or system attributes).
ULVEX_EXPORT std::optional<QString> findFrontend(const QString& root, int maxDepth, int maxEntries);
