#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>
#include <cstring>
#include <limits>
#include <random>

#include "rangeview/chart/Errors.h"
#include "rangeview/chart/ValueList.h"

namespace rv {
namespace {

bool SameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

#define ASCENDING_LIST(l)                                                                          \
    TChartValueList l(nullptr, "X");                                                               \
    l.SetOrder(TChartListOrder::loAscending)

std::vector<double> Values(const TChartValueList& l)
{
    std::vector<double> v;
    for (std::int32_t i = 0; i < l.ValueCount(); ++i)
        v.push_back(l.ValueAt(i));
    return v;
}

TEST(ValueListOrder, AscendingAppendsEqualAfterAndInsertsSmallerBefore)
{
    TChartValueList l(nullptr, "X");
    l.SetOrder(TChartListOrder::loAscending);
    EXPECT_EQ(l.AddInOrder(1), 0);
    EXPECT_EQ(l.AddInOrder(3), 1);
    EXPECT_EQ(l.AddInOrder(3), 2); // equal goes after all equal ones
    EXPECT_EQ(l.AddInOrder(2), 1); // between
    EXPECT_EQ(l.AddInOrder(0), 0); // before the first
    EXPECT_EQ(l.AddInOrder(3), 5);
    EXPECT_EQ(Values(l), (std::vector<double>{0, 1, 2, 3, 3, 3}));
}

TEST(ValueListOrder, DescendingAndNone)
{
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

TEST(ValueListOrder, OrderingComparesStoredValuesNotScaled)
{
    TChartValueList l(nullptr, "X");
    l.SetOrder(TChartListOrder::loAscending);
    l.SetMultiplier(-1);
    l.AddInOrder(1);
    l.AddInOrder(2);
    EXPECT_EQ(l.AddInOrder(1.5), 1);
    EXPECT_EQ(Values(l), (std::vector<double>{-1, -1.5, -2}));
    EXPECT_EQ(l.RawValue(1), 1.5);
}

TEST(ValueListOrder, InsertRemoveRotateKeepOrderOfOthers)
{
    TChartValueList l(nullptr, "Y");
    for (double v : {1.0, 2.0, 3.0})
        l.InsertValue(l.ValueCount(), v);
    l.InsertValue(0, 0.5);
    l.RemoveValue(2);
    EXPECT_EQ(Values(l), (std::vector<double>{0.5, 1, 3}));
    l.RotateValues();
    EXPECT_EQ(Values(l), (std::vector<double>{1, 3, 0.5}));
    l.RemoveAllValues();
    EXPECT_EQ(l.ValueCount(), 0);
}

TEST(ValueListOrder, LargeOutOfOrderInsertCrossesStorageBlocks)
{
    ASCENDING_LIST(l);
    const int n = 20000; // more than two storage blocks
    for (int i = 1; i <= n; ++i)
        l.AddInOrder(i);
    EXPECT_EQ(l.AddInOrder(0), 0);
    EXPECT_EQ(l.AddInOrder(10000.5), 10001); // after 0 .. 10000
    ASSERT_EQ(l.ValueCount(), n + 2);
    for (std::int32_t i = 1; i < l.ValueCount(); ++i)
        ASSERT_LE(l.ValueAt(i - 1), l.ValueAt(i)) << i;
    l.RemoveValue(0);
    EXPECT_EQ(l.ValueAt(0), 1);
    EXPECT_EQ(l.LastValue(), n);
}

TEST(ValueListErrors, IndexOutOfBoundsNamesTheIndex)
{
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

TEST(ValueListStats, EmptyIsZeroAndWorkedExample)
{
    TChartValueList l(nullptr, "Y");
    EXPECT_TRUE(l.StatsStale);
    EXPECT_EQ(l.HighestValue(), 0);
    EXPECT_EQ(l.LowestValue(), 0);
    EXPECT_EQ(l.ValueTotal(), 0);
    EXPECT_EQ(l.AbsoluteTotal(), 0);
    for (double v : {5.0, 3.0, 9.0})
        l.AddInOrder(v);
    EXPECT_EQ(l.HighestValue(), 9);
    EXPECT_EQ(l.LowestValue(), 3);
    EXPECT_EQ(l.ValueTotal(), 17);
    l.AddInOrder(-4);
    EXPECT_EQ(l.AbsoluteTotal(), 21);
    EXPECT_EQ(l.ValueTotal(), 13);
    EXPECT_EQ(l.LowestValue(), -4);
}

TEST(ValueListStats, MultiplierScalesReadsAndStatistics)
{
    TChartValueList l(nullptr, "Y");
    for (double v : {5.0, 3.0, 9.0})
        l.AddInOrder(v);
    EXPECT_EQ(l.HighestValue(), 9);
    l.SetMultiplier(2);
    EXPECT_TRUE(l.StatsStale);
    EXPECT_EQ(l.ValueAt(0), 10);
    EXPECT_EQ(l.HighestValue(), 18);
    EXPECT_EQ(l.LowestValue(), 6);
    EXPECT_EQ(l.ValueTotal(), 34);
    EXPECT_EQ(l.RawValue(0), 5);
}

TEST(ValueListStats, EveryKindOfChangeRefreshesTheCaches)
{
    TChartValueList l(nullptr, "Y");
    for (double v : {1.0, 2.0, 3.0})
        l.AddInOrder(v);
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
TEST(ValueListStats, AppendedCachesEqualFullRecomputationBitForBit)
{
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> dist(-1e6, 1e6);
    for (double multiplier : {1.0, 0.1, -3.0}) {
        TChartValueList fast(nullptr, "Y");
        fast.SetMultiplier(multiplier);
        for (int i = 0; i < 3000; ++i) {
            double v = dist(rng);
            if (i % 97 == 0)
                v = -0.0;
            if (i % 89 == 0)
                v = 1e-300;
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

TEST(ValueListStats, FirstValueNegativeZeroKeepsItsSign)
{
    TChartValueList l(nullptr, "Y");
    (void)l.HighestValue();
    l.AddInOrder(-0.0);
    EXPECT_TRUE(std::signbit(l.ValueTotal()));
}

TEST(ValueListStats, AssignCopiesSettingsNotValues)
{
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

TEST(ValueListSearch, SortednessFollowsWritesThatBreakAndMendIt)
{
    ASCENDING_LIST(l);
    for (double v : {1.0, 2.0, 3.0, 4.0})
        l.AddInOrder(v);
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

// --- the run of sample numbers kept without storage ------------------------------------------

// Plain reference of a value list: a vector of doubles and the full statistics pass.
struct ReferenceList {
    std::vector<double> v;
    double multiplier = 1.0;
    TChartListOrder order = TChartListOrder::loAscending;

    std::int32_t AddInOrder(double x)
    {
        std::size_t at = v.size();
        if (order == TChartListOrder::loAscending && !v.empty() && !(v.back() <= x)) {
            std::int64_t i = static_cast<std::int64_t>(v.size()) - 1;
            while (i >= 0 && v[static_cast<std::size_t>(i)] > x)
                --i;
            at = static_cast<std::size_t>(i + 1);
        }
        v.insert(v.begin() + static_cast<std::ptrdiff_t>(at), x);
        return static_cast<std::int32_t>(at);
    }
    // Lowest, highest, total, absolute total.
    std::array<double, 4> Stats() const
    {
        if (v.empty())
            return {0, 0, 0, 0};
        const double f = v[0] * multiplier;
        std::array<double, 4> s{f, f, f, std::fabs(f)};
        for (std::size_t i = 1; i < v.size(); ++i) {
            const double x = v[i] * multiplier;
            if (x < s[0])
                s[0] = x;
            else if (x > s[1])
                s[1] = x;
            s[2] += x;
            s[3] += std::fabs(x);
        }
        return s;
    }
    std::int32_t FirstAtOrAbove(double x, std::int32_t first) const
    {
        std::size_t i = static_cast<std::size_t>(std::max(first, 0));
        while (i < v.size() && !(v[i] * multiplier >= x))
            ++i;
        return static_cast<std::int32_t>(i);
    }
};

void ExpectSameAsReference(TChartValueList& l, const ReferenceList& ref, const std::string& where)
{
    ASSERT_EQ(l.ValueCount(), static_cast<std::int32_t>(ref.v.size())) << where;
    for (std::size_t i = 0; i < ref.v.size(); ++i) {
        ASSERT_TRUE(SameBits(l.ValueAt(static_cast<std::int32_t>(i)), ref.v[i] * ref.multiplier))
            << where << " index " << i;
    }
    const auto s = ref.Stats();
    EXPECT_TRUE(SameBits(l.LowestValue(), s[0])) << where;
    EXPECT_TRUE(SameBits(l.HighestValue(), s[1])) << where;
    EXPECT_TRUE(SameBits(l.ValueTotal(), s[2])) << where;
    EXPECT_TRUE(SameBits(l.AbsoluteTotal(), s[3])) << where;
}

TEST(ValueListSampleRun, ConsecutiveSampleNumbersTakeNoStorageAndReadAsStored)
{
    ASCENDING_LIST(l);
    ReferenceList ref;
    for (int i = 0; i < 20000; ++i) {
        EXPECT_EQ(l.AddInOrder(i), ref.AddInOrder(i));
        (void)l.HighestValue();
    }
    EXPECT_TRUE(l.IsImplicit());
    ExpectSameAsReference(l, ref, "run");
    EXPECT_EQ(l.LastValue(), 19999);
    EXPECT_EQ(l.FirstIndexAtOrAbove(123.5, 0), 124);
    EXPECT_EQ(l.FirstIndexAtOrAbove(-5, 0), 0);
    EXPECT_EQ(l.FirstIndexAtOrAbove(1e9, 0), 20000);
    EXPECT_THROW((void)l.ValueAt(20000), EListError);
}

// Each way of breaking the run gives the values and statistics a stored list gives.
TEST(ValueListSampleRun, EveryWriteThatBreaksTheRunKeepsTheValues)
{
    struct Case {
        const char* name;
        std::function<void(TChartValueList&, ReferenceList&)> change;
    };
    const std::vector<Case> cases = {
        {"gap",
         [](auto& l, auto& r) {
             l.AddInOrder(101);
             r.AddInOrder(101);
         }},
        {"repeat",
         [](auto& l, auto& r) {
             l.AddInOrder(99);
             r.AddInOrder(99);
         }},
        {"fraction",
         [](auto& l, auto& r) {
             l.AddInOrder(100.5);
             r.AddInOrder(100.5);
         }},
        {"smaller inserted",
         [](auto& l, auto& r) { EXPECT_EQ(l.AddInOrder(3.5), r.AddInOrder(3.5)); }},
        {"value written",
         [](auto& l, auto& r) {
             l.SetValueAt(7, 7.25);
             r.v[7] = 7.25;
         }},
        {"same value written",
         [](auto& l, auto& r) {
             l.SetValueAt(7, 7);
             r.v[7] = 7;
         }},
        {"inserted at",
         [](auto& l, auto& r) {
             l.InsertValue(5, 42);
             r.v.insert(r.v.begin() + 5, 42);
         }},
        {"middle removed",
         [](auto& l, auto& r) {
             l.RemoveValue(10);
             r.v.erase(r.v.begin() + 10);
         }},
        {"last removed",
         [](auto& l, auto& r) {
             l.RemoveValue(99);
             r.v.pop_back();
         }},
        {"rotated",
         [](auto& l, auto& r) {
             l.RotateValues();
             r.v.push_back(r.v.front());
             r.v.erase(r.v.begin());
         }},
        {"multiplied",
         [](auto& l, auto& r) {
             l.SetMultiplier(0.1);
             r.multiplier = 0.1;
         }},
    };
    for (const auto& c : cases) {
        ASCENDING_LIST(l);
        ReferenceList ref;
        for (int i = 0; i < 100; ++i) {
            l.AddInOrder(i);
            ref.AddInOrder(i);
        }
        (void)l.HighestValue();
        c.change(l, ref);
        ExpectSameAsReference(l, ref, c.name);
        // And it goes on like a stored list.
        l.AddInOrder(100);
        ref.AddInOrder(100);
        ExpectSameAsReference(l, ref, std::string(c.name) + " then added");
    }
}

TEST(ValueListSampleRun, NegativeZeroIsNotTheFirstSampleNumber)
{
    ASCENDING_LIST(l);
    l.AddInOrder(-0.0);
    l.AddInOrder(1);
    EXPECT_TRUE(std::signbit(l.ValueAt(0)));
    EXPECT_TRUE(std::signbit(l.LowestValue()));
}

TEST(ValueListSampleRun, ClearingStartsANewRun)
{
    ASCENDING_LIST(l);
    l.AddInOrder(5);
    EXPECT_FALSE(l.IsImplicit());
    l.RemoveAllValues();
    EXPECT_TRUE(l.IsImplicit());
    for (int i = 0; i < 3; ++i)
        l.AddInOrder(i);
    EXPECT_TRUE(l.IsImplicit());
    EXPECT_EQ(Values(l), (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(l.ValueTotal(), 3);
}

// Random mixes of run-continuing and run-breaking writes, with a multiplier, compared with the
// plain list after every step: values, statistics and searches, bit for bit.
TEST(ValueListSampleRun, RandomWritesMatchAPlainListBitForBit)
{
    std::mt19937_64 rng(12);
    for (int round = 0; round < 40; ++round) {
        ASCENDING_LIST(l);
        ReferenceList ref;
        if (round % 4 == 3) {
            l.SetMultiplier(0.1 * round);
            ref.multiplier = 0.1 * round;
        }
        const int steps = 50 + static_cast<int>(rng() % 400);
        for (int step = 0; step < steps; ++step) {
            const auto n = static_cast<std::int32_t>(ref.v.size());
            const unsigned op = static_cast<unsigned>(rng() % 100);
            if (op < 85 || n == 0) {
                // Mostly the next sample number; sometimes a break.
                double x = n;
                if (op % 17 == 1)
                    x = n + 0.5;
                if (op % 23 == 2)
                    x = n - 3;
                if (op % 29 == 3)
                    x = -0.0;
                ASSERT_EQ(l.AddInOrder(x), ref.AddInOrder(x));
            } else if (op < 90) {
                l.RemoveValue(n - 1);
                ref.v.pop_back();
            } else if (op < 94) {
                const auto i = static_cast<std::int32_t>(rng() % static_cast<unsigned>(n));
                const double x = (op % 2) ? static_cast<double>(i) : i + 0.25;
                l.SetValueAt(i, x);
                ref.v[static_cast<std::size_t>(i)] = x;
            } else if (op < 97) {
                const auto i = static_cast<std::int32_t>(rng() % static_cast<unsigned>(n));
                l.RemoveValue(i);
                ref.v.erase(ref.v.begin() + i);
            } else {
                l.RemoveAllValues();
                ref.v.clear();
            }
            if (step % 7 == 0)
                (void)l.HighestValue();
            const double probe = static_cast<double>(rng() % 600) * 0.5 - 10;
            const auto first = static_cast<std::int32_t>(rng() % 8);
            ASSERT_EQ(l.FirstIndexAtOrAbove(probe, first), ref.FirstAtOrAbove(probe, first))
                << "round " << round << " step " << step;
            ExpectSameAsReference(
                l, ref, "round " + std::to_string(round) + " step " + std::to_string(step));
            if (HasFatalFailure())
                return;
        }
    }
}

} // namespace
} // namespace rv
