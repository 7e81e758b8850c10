#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "rangeview/chart/Errors.h"
#include "rangeview/chart/ValueList.h"

namespace rv {
namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

#define ASCENDING_LIST(l)          \
    TChartValueList l(nullptr, "X"); \
    l.SetOrder(TChartListOrder::loAscending)

std::vector<double> Values(const TChartValueList& l) {
    std::vector<double> v;
    for (std::int32_t i = 0; i < l.ValueCount(); ++i) v.push_back(l.ValueAt(i));
    return v;
}

TEST(ValueListOrder, AscendingAppendsEqualAfterAndInsertsSmallerBefore) {
    TChartValueList l(nullptr, "X");
    l.SetOrder(TChartListOrder::loAscending);
    EXPECT_EQ(l.AddInOrder(1), 0);
    EXPECT_EQ(l.AddInOrder(3), 1);
    EXPECT_EQ(l.AddInOrder(3), 2);   // equal goes after all equal ones
    EXPECT_EQ(l.AddInOrder(2), 1);   // between
    EXPECT_EQ(l.AddInOrder(0), 0);   // before the first
    EXPECT_EQ(l.AddInOrder(3), 5);
    EXPECT_EQ(Values(l), (std::vector<double>{0, 1, 2, 3, 3, 3}));
}

TEST(ValueListOrder, DescendingAndNone) {
    TChartValueList d(nullptr, "D");
    d.SetOrder(TChartListOrder::loDescending);
    d.AddInOrder(5);
    d.AddInOrder(1);
    EXPECT_EQ(d.AddInOrder(3), 1);
    EXPECT_EQ(d.AddInOrder(9), 0);
    EXPECT_EQ(d.AddInOrder(1), 4);
    EXPECT_EQ(Values(d), (std::vector<double>{9, 5, 3, 1, 1}));

    TChartValueList n(nullptr, "Y");
    n.AddInOrder(5);
    EXPECT_EQ(n.AddInOrder(1), 1);
    EXPECT_EQ(Values(n), (std::vector<double>{5, 1}));
}

TEST(ValueListOrder, OrderingComparesStoredValuesNotScaled) {
    TChartValueList l(nullptr, "X");
    l.SetOrder(TChartListOrder::loAscending);
    l.SetMultiplier(-1);
    l.AddInOrder(1);
    l.AddInOrder(2);
    EXPECT_EQ(l.AddInOrder(1.5), 1);
    EXPECT_EQ(Values(l), (std::vector<double>{-1, -1.5, -2}));
    EXPECT_EQ(l.RawValue(1), 1.5);
}

TEST(ValueListOrder, InsertRemoveRotateKeepOrderOfOthers) {
    TChartValueList l(nullptr, "Y");
    for (double v : {1.0, 2.0, 3.0}) l.InsertValue(l.ValueCount(), v);
    l.InsertValue(0, 0.5);
    l.RemoveValue(2);
    EXPECT_EQ(Values(l), (std::vector<double>{0.5, 1, 3}));
    l.RotateValues();
    EXPECT_EQ(Values(l), (std::vector<double>{1, 3, 0.5}));
    l.RemoveAllValues();
    EXPECT_EQ(l.ValueCount(), 0);
}

TEST(ValueListOrder, LargeOutOfOrderInsertCrossesStorageBlocks) {
    ASCENDING_LIST(l);
    const int n = 20000; // more than two storage blocks
    for (int i = 1; i <= n; ++i) l.AddInOrder(i);
    EXPECT_EQ(l.AddInOrder(0), 0);
    EXPECT_EQ(l.AddInOrder(10000.5), 10001); // after 0 .. 10000
    ASSERT_EQ(l.ValueCount(), n + 2);
    for (std::int32_t i = 1; i < l.ValueCount(); ++i) ASSERT_LE(l.ValueAt(i - 1), l.ValueAt(i)) << i;
    l.RemoveValue(0);
    EXPECT_EQ(l.ValueAt(0), 1);
    EXPECT_EQ(l.LastValue(), n);
}

TEST(ValueListErrors, IndexOutOfBoundsNamesTheIndex) {
    TChartValueList l(nullptr, "Y");
    try {
        (void)l.LastValue();
        FAIL() << "no error";
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (-1)");
    }
    l.AddInOrder(4);
    EXPECT_THROW((void)l.ValueAt(1), EListError);
    EXPECT_THROW(l.SetValueAt(-2, 0), EListError);
    EXPECT_THROW(l.RemoveValue(1), EListError);
    EXPECT_THROW(l.InsertValue(2, 0), EListError);
    EXPECT_EQ(Values(l), std::vector<double>{4}); // nothing changed
}

TEST(ValueListStats, EmptyIsZeroAndWorkedExample) {
    TChartValueList l(nullptr, "Y");
    EXPECT_TRUE(l.StatsStale);
    EXPECT_EQ(l.HighestValue(), 0);
    EXPECT_EQ(l.LowestValue(), 0);
    EXPECT_EQ(l.ValueTotal(), 0);
    EXPECT_EQ(l.AbsoluteTotal(), 0);
    for (double v : {5.0, 3.0, 9.0}) l.AddInOrder(v);
    EXPECT_EQ(l.HighestValue(), 9);
    EXPECT_EQ(l.LowestValue(), 3);
    EXPECT_EQ(l.ValueTotal(), 17);
    l.AddInOrder(-4);
    EXPECT_EQ(l.AbsoluteTotal(), 21);
    EXPECT_EQ(l.ValueTotal(), 13);
    EXPECT_EQ(l.LowestValue(), -4);
}

TEST(ValueListStats, MultiplierScalesReadsAndStatistics) {
    TChartValueList l(nullptr, "Y");
    for (double v : {5.0, 3.0, 9.0}) l.AddInOrder(v);
    EXPECT_EQ(l.HighestValue(), 9);
    l.SetMultiplier(2);
    EXPECT_TRUE(l.StatsStale);
    EXPECT_EQ(l.ValueAt(0), 10);
    EXPECT_EQ(l.HighestValue(), 18);
    EXPECT_EQ(l.LowestValue(), 6);
    EXPECT_EQ(l.ValueTotal(), 34);
    EXPECT_EQ(l.RawValue(0), 5);
}

TEST(ValueListStats, EveryKindOfChangeRefreshesTheCaches) {
    TChartValueList l(nullptr, "Y");
    for (double v : {1.0, 2.0, 3.0}) l.AddInOrder(v);
    EXPECT_EQ(l.HighestValue(), 3);
    l.SetValueAt(0, 10);
    EXPECT_EQ(l.HighestValue(), 10);
    l.RemoveValue(0);
    EXPECT_EQ(l.HighestValue(), 3);
    l.InsertValue(0, -7);
    EXPECT_EQ(l.LowestValue(), -7);
    l.RemoveAllValues();
    EXPECT_EQ(l.HighestValue(), 0);
    l.AddInOrder(-2);
    EXPECT_EQ(l.HighestValue(), -2);
    EXPECT_EQ(l.AbsoluteTotal(), 2);
}

// Appends keep the caches fresh without a full pass; the results must be the very bits a full
// pass gives, whatever the values.
TEST(ValueListStats, AppendedCachesEqualFullRecomputationBitForBit) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> dist(-1e6, 1e6);
    for (double multiplier : {1.0, 0.1, -3.0}) {
        TChartValueList fast(nullptr, "Y");
        fast.SetMultiplier(multiplier);
        for (int i = 0; i < 3000; ++i) {
            double v = dist(rng);
            if (i % 97 == 0) v = -0.0;
            if (i % 89 == 0) v = 1e-300;
            fast.AddInOrder(v);
            (void)fast.HighestValue(); // reading keeps the caches fresh
            ASSERT_FALSE(fast.StatsStale);
        }
        const double hi = fast.HighestValue(), lo = fast.LowestValue(), tot = fast.ValueTotal(),
                     abs = fast.AbsoluteTotal();
        fast.StatsStale = true; // force the full pass
        EXPECT_TRUE(SameBits(hi, fast.HighestValue()));
        EXPECT_TRUE(SameBits(lo, fast.LowestValue()));
        EXPECT_TRUE(SameBits(tot, fast.ValueTotal()));
        EXPECT_TRUE(SameBits(abs, fast.AbsoluteTotal()));
    }
}

TEST(ValueListStats, FirstValueNegativeZeroKeepsItsSign) {
    TChartValueList l(nullptr, "Y");
    (void)l.HighestValue();
    l.AddInOrder(-0.0);
    EXPECT_TRUE(std::signbit(l.ValueTotal()));
}

TEST(ValueListStats, AssignCopiesSettingsNotValues) {
    TChartValueList a(nullptr, "A");
    a.SetOrder(TChartListOrder::loDescending);
    a.SetDateTime(true);
    a.SetMultiplier(4);
    a.SetValueSource("src");
    a.AddInOrder(1);
    TChartValueList b(nullptr, "B");
    b.Assign(a);
    EXPECT_EQ(b.Order(), TChartListOrder::loDescending);
    EXPECT_TRUE(b.DateTime());
    EXPECT_EQ(b.Multiplier(), 4);
    EXPECT_EQ(b.ValueSource(), "src");
    EXPECT_EQ(b.ValueCount(), 0);
    EXPECT_EQ(b.Name(), "B");
}

TEST(ValueListSearch, SortednessFollowsWritesThatBreakAndMendIt) {
    ASCENDING_LIST(l);
    for (double v : {1.0, 2.0, 3.0, 4.0}) l.AddInOrder(v);
    EXPECT_TRUE(l.IsSortedAscending());
    l.SetValueAt(1, 10);
    EXPECT_FALSE(l.IsSortedAscending());
    EXPECT_EQ(l.FirstIndexAtOrAbove(3, 0), 1); // linear rule on unsorted data
    l.SetValueAt(1, 2);
    EXPECT_TRUE(l.IsSortedAscending());
    l.AddInOrder(std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(l.IsSortedAscending());
    l.RemoveValue(4);
    EXPECT_TRUE(l.IsSortedAscending());
}

} // namespace
} // namespace rv
