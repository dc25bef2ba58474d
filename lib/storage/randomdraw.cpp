#include "storage/randomdraw.h"

#include <random>
#include <utility>

namespace {

std::mt19937 freshEngine()
{
    std::random_device device;
    return std::mt19937(device());
}

template <typename Real>
Real uniformReal(Real lo, Real hi)
{
    if (hi < lo)
        std::swap(lo, hi);
    if (!(lo < hi))
        return lo; // empty range, or a bound that is not a number
    std::mt19937 engine = freshEngine();
    std::uniform_real_distribution<Real> distribution(lo, hi);
    Real value = distribution(engine);
    // Float rounding can land exactly on the upper bound; keep the range half-open.
    return value < hi ? value : lo;
}

} // namespace

qint32 randomInt(qint32 lo, qint32 hi)
{
    if (hi < lo)
        std::swap(lo, hi);
    std::mt19937 engine = freshEngine();
    std::uniform_int_distribution<qint32> distribution(lo, hi);
    return distribution(engine);
}

float randomFloat(float lo, float hi)
{
    return uniformReal(lo, hi);
}

double randomDouble(double lo, double hi)
{
    return uniformReal(lo, hi);
}
