#include "rangeview/common/Numeric.h"

#include <gtest/gtest.h>

namespace {

TEST(Numeric, RoundHalfEvenGoesToTheEvenNeighbour)
{
    EXPECT_EQ(rv::RoundHalfEven(2.5), 2);
    EXPECT_EQ(rv::RoundHalfEven(3.5), 4);
    EXPECT_EQ(rv::RoundHalfEven(-2.5), -2);
    EXPECT_EQ(rv::RoundHalfEven(-3.5), -4);
    EXPECT_EQ(rv::RoundHalfEven(0.5), 0);
    EXPECT_EQ(rv::RoundHalfEven(2.4999), 2);
    EXPECT_EQ(rv::RoundHalfEven(2.5001), 3);
    EXPECT_EQ(rv::RoundHalfEven(-0.4), 0);
    // Just below a half: x + 0.5 rounds up to the next integer in doubles.
    EXPECT_EQ(rv::RoundHalfEven(0.49999999999999994), 0);
    EXPECT_EQ(rv::RoundHalfEven(-0.49999999999999994), 0);
    EXPECT_EQ(rv::RoundHalfEven(4503599627370495.5), 4503599627370496);
    EXPECT_EQ(rv::RoundHalfEven(4503599627370497.0), 4503599627370497);
}

TEST(Numeric, TruncDropsTowardZero)
{
    EXPECT_EQ(rv::Trunc(2.9), 2);
    EXPECT_EQ(rv::Trunc(-2.9), -2);
    EXPECT_EQ(rv::Trunc(1e15 + 0.5), 1000000000000000LL);
}

TEST(Numeric, MulDivRoundsHalvesAwayFromZero)
{
    EXPECT_EQ(rv::MulDiv(953, 3, 100), 29); // 28.59
    EXPECT_EQ(rv::MulDiv(5, 1, 2), 3); // 2.5
    EXPECT_EQ(rv::MulDiv(-5, 1, 2), -3); // -2.5
    EXPECT_EQ(rv::MulDiv(5, -1, 2), -3);
    EXPECT_EQ(rv::MulDiv(7, 1, 3), 2);
    EXPECT_EQ(rv::MulDiv(1, 1, 0), -1);
    EXPECT_EQ(rv::MulDiv(2000000000, 2, 4), 1000000000); // no 32-bit overflow
}

} // namespace
