#include "rangeview/common/Numeric.h"

#include <cmath>
#include <cstdlib>

namespace rv {

std::int64_t RoundHalfEven(double x) {
    // Independent of the floating-point environment's current rounding mode.
    double r = std::round(x); // halves away from zero
    if (std::fabs(x - std::trunc(x)) == 0.5) {
        r = 2.0 * std::round(x / 2.0);
    }
    return static_cast<std::int64_t>(r);
}

std::int64_t Trunc(double x) {
    return static_cast<std::int64_t>(std::trunc(x));
}

std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
    if (c == 0) return -1;
    const std::int64_t num = static_cast<std::int64_t>(a) * b;
    std::int64_t q = num / c;
    const std::int64_t rem = num % c;
    if (2 * std::llabs(rem) >= std::llabs(static_cast<std::int64_t>(c))) {
        q += ((num < 0) != (c < 0)) ? -1 : 1;
    }
    return static_cast<std::int32_t>(q);
}

} // namespace rv
