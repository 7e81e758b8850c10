#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "ChartDataSupport.h"
#include "rangeview/chart/Chart.h"

namespace rv {
namespace {

using testing::PlaceChartRect;

// The rule written out plainly: scan from index 0, one value at a time.
std::pair<std::int32_t, std::int32_t> LinearRange(const TChartSeries& s,
                                                  const TCustomAxisPanel& chart)
{
    const std::int32_t count = s.PointCount();
    if (count < 1)
        return {-1, -1};
    const std::int32_t last = count - 1;
    if (!s.ClipToVisible || s.XValues().Order() == TChartListOrder::loNone)
        return {0, last};
    const TCustomChartAxis& axis = *s.ResolvedHorizAxis();
    const TRect& r = chart.ChartRect();
    const double left = axis.PixelToValue(axis.Inverted() ? r.Right : r.Left);
    std::int32_t first = -1;
    for (std::int32_t i = 0; i < count; ++i) {
        if (s.XValues().ValueAt(i) >= left) {
            first = i;
            break;
        }
    }
    if (first == -1)
        return {-1, -1};
    const double right = axis.PixelToValue(axis.Inverted() ? r.Left : r.Right);
    if (s.XValues().LastValue() <= right)
        return {first, last};
    std::int32_t lastVisible = last;
    for (std::int32_t i = first; i < count; ++i) {
        if (s.XValues().ValueAt(i) >= right) {
            lastVisible = i;
            break;
        }
    }
    if (!s.ExtendToEdge && s.XValues().ValueAt(lastVisible) > right)
        --lastVisible;
    return {first, lastVisible};
}

struct VisibleRange : ::testing::Test {
    TCustomAxisPanel chart;
    TFastLineSeries series;
    VisibleRange()
    {
        chart.AddSeries(&series);
        chart.BottomAxis()->SetRange(0, 100);
        chart.LeftAxis()->SetRange(0, 10);
        PlaceChartRect(chart, TRect{0, 0, 101, 50}); // one pixel per unit
    }
    void Add(std::initializer_list<double> xs)
    {
        for (double x : xs)
            series.AddPoint(x, 1, "", UseSeriesColor);
    }
    std::pair<std::int32_t, std::int32_t> Found()
    {
        series.FindVisibleRange();
        return {series.VisibleFirst, series.VisibleLast};
    }
};

TEST_F(VisibleRange, EmptySeriesGivesMinusOne)
{
    EXPECT_EQ(Found(), std::make_pair(-1, -1));
}

TEST_F(VisibleRange, AllLeftOfTheRangeDrawsNothing)
{
    Add({-30, -20, -10});
    EXPECT_EQ(Found(), std::make_pair(-1, -1));
}

TEST_F(VisibleRange, LastInsideGivesLastIndex)
{
    Add({-10, 5, 50, 100});
    EXPECT_EQ(Found(), std::make_pair(1, 3));
}

TEST_F(VisibleRange, FastLineKeepsTheFirstPointBeyondTheRightEdge)
{
    Add({10, 90, 101, 150, 200});
    EXPECT_EQ(Found(), std::make_pair(0, 2));
    series.ExtendToEdge = false;
    EXPECT_EQ(Found(), std::make_pair(0, 1));
}

TEST_F(VisibleRange, DuplicatesAtTheEdgesTakeTheFirstOfTheRun)
{
    Add({-1, 0, 0, 0, 40, 101, 101, 101});
    EXPECT_EQ(Found(), std::make_pair(1, 5));
}

TEST_F(VisibleRange, NoClippingOrUnorderedListGivesEverything)
{
    Add({-50, 500});
    series.ClipToVisible = false;
    EXPECT_EQ(Found(), std::make_pair(0, 1));
    series.ClipToVisible = true;
    series.XValues().SetOrder(TChartListOrder::loNone);
    EXPECT_EQ(Found(), std::make_pair(0, 1));
}

TEST_F(VisibleRange, InvertedAxisUsesTheOppositeEdges)
{
    Add({0, 50, 100});
    chart.BottomAxis()->SetInverted(true);
    EXPECT_EQ(Found(), LinearRange(series, chart));
    EXPECT_EQ(Found(), std::make_pair(0, 2));
}

TEST_F(VisibleRange, ClickFindsPointsAndSegmentsOfTheLastPaint)
{
    chart.LeftAxis()->SetRange(0, 100);
    PlaceChartRect(chart, TRect{0, 0, 100, 100}); // x pixel = X, y pixel = 100 - Y
    EXPECT_EQ(series.Clicked(10, 90), -1); // nothing painted yet
    series.AddPoint(10, 10, "", UseSeriesColor);
    series.AddPoint(20, 30, "", UseSeriesColor);
    series.FindVisibleRange();
    EXPECT_EQ(series.Clicked(10, 90), 0);
    EXPECT_EQ(series.Clicked(20, 70), 1);
    EXPECT_EQ(series.Clicked(15, 80), 0); // on the segment from point 0
    EXPECT_EQ(series.Clicked(15, 85), -1); // off the line
    EXPECT_EQ(series.Clicked(25, 60), -1); // on its extension, past the end
}

TEST(VisibleRangeNoChart, SeriesWithoutChartShowsEverything)
{
    TFastLineSeries s;
    s.AddPoint(1, 1, "", UseSeriesColor);
    s.AddPoint(2, 1, "", UseSeriesColor);
    s.FindVisibleRange();
    EXPECT_EQ(s.VisibleFirst, 0);
    EXPECT_EQ(s.VisibleLast, 1);
}

// The search must give exactly what the linear rule gives, whatever the data.
TEST_F(VisibleRange, RandomisedAgreementWithTheLinearRule)
{
    std::mt19937 rng(12345);
    auto uni = [&](double a, double b) {
        return std::uniform_real_distribution<double>(a, b)(rng);
    };
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    for (int round = 0; round < 400; ++round) {
        series.ClearPoints();
        series.XValues().SetMultiplier(1);
        series.ExtendToEdge = pick(2) == 0;
        chart.BottomAxis()->SetInverted(pick(5) == 0);
        const int n = pick(60);
        double x = uni(-50, 50);
        for (int i = 0; i < n; ++i) {
            switch (pick(6)) {
            case 0:
                break; // duplicate
            case 1:
                x += uni(-20, 0);
                break; // out of order: inserted
            default:
                x += std::floor(uni(0, 15));
                break;
            }
            series.AddPoint(x, 0, "", UseSeriesColor);
        }
        switch (pick(8)) {
        case 0:
            if (n > 0)
                series.XValues().SetValueAt(pick(n), uni(-100, 200)); // breaks the order
            break;
        case 1:
            series.XValues().SetMultiplier(-1);
            break;
        case 2:
            series.XValues().SetMultiplier(0.5);
            break;
        case 3:
            series.XValues().SetMultiplier(0);
            break;
        case 4:
            if (n > 0)
                series.XValues().SetValueAt(pick(n), std::numeric_limits<double>::quiet_NaN());
            break;
        default:
            break;
        }
        const double lo = std::floor(uni(-60, 150));
        chart.BottomAxis()->SetRange(lo, lo + std::floor(uni(0, 120)));
        PlaceChartRect(chart, TRect{pick(30), 0, 30 + pick(300), 50});
        ASSERT_EQ(Found(), LinearRange(series, chart)) << "round " << round;
    }
}

} // namespace
} // namespace rv
