#pragma once

#include <QtGlobal>

// Each draw seeds a fresh mt19937 from std::random_device; no state is kept.
// Bounds given in the wrong order are swapped, so a draw is always defined.

// Uniform integer in the closed range [lo, hi].
qint32 randomInt(qint32 lo, qint32 hi);
// Uniform value in [lo, hi).
float randomFloat(float lo, float hi);
double randomDouble(double lo, double hi);
