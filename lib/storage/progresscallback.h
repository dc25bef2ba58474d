#pragma once

#include <QtGlobal>
#include <functional>

// Called once per saved parameter with its index and the last index (count - 1).
using ProgressCallback = std::function<void(qint32 index, qint32 total)>;
