#pragma once

#include <QtGlobal>

// Where a session stands in the measurement cycle.
enum class SessionState : qint32 {
    Idle = 0,
    Analyzing = 1,
    PostAnalyzing = 2,
};
