#pragma once

#include <cstdint>

namespace rv {

// The one place for the program's rounding rules.

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
std::int64_t RoundHalfEven(double x);

// Drops the fraction toward zero.
std::int64_t Trunc(double x);

// a * b / c rounded to the nearest integer, halves away from zero; -1 when c is 0.
// The product is taken in 64 bits, so it cannot overflow for 32-bit operands.
std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c);

} // namespace rv
