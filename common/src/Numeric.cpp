#include "rangeview/common/Numeric.h"

#include <cmath>
#include <cstdlib>

namespace rv {

std::int64_t RoundHalfEven(double x)
{
    // Built from trunc and the exact fraction, independent of the floating-point environment's
    // rounding mode and of std::round, which some C libraries compute as floor(x + 0.5) (that
    // turns the largest double below 0.5 into 1).
    const double whole = std::trunc(x);
    const double fraction = x - whole; // exact
    const bool wholeIsOdd = std::fmod(whole, 2.0) != 0.0;
    double r = whole;
    if (fraction > 0.5 || (fraction == 0.5 && wholeIsOdd)) {
        r = whole + 1.0;
    } else if (fraction < -0.5 || (fraction == -0.5 && wholeIsOdd)) {
        r = whole - 1.0;
    }
    return static_cast<std::int64_t>(r);
}

std::int64_t Trunc(double x)
{
    return static_cast<std::int64_t>(std::trunc(x));
}

std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c)
{
    if (c == 0)
        return -1;
    const std::int64_t num = static_cast<std::int64_t>(a) * b;
    std::int64_t q = num / c;
    const std::int64_t rem = num % c;
    if (2 * std::llabs(rem) >= std::llabs(static_cast<std::int64_t>(c))) {
        q += ((num < 0) != (c < 0)) ? -1 : 1;
    }
    return static_cast<std::int32_t>(q);
}

} // namespace rv
