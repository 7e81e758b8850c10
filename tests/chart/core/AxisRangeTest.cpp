#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>
#include <limits>
#include <string>

#include "ChartDataSupport.h"
#include "rangeview/chart/Chart.h"
#include "rangeview/common/Numeric.h"

namespace rv {
namespace {

using testing::PlaceChartRect;

std::string AxisError(const std::function<void()>& write)
{
    try {
        write();
    } catch (const AxisException& e) {
        return e.what();
    }
    return "";
}

struct AxisFixture : ::testing::Test {
    TCustomAxisPanel chart;
    TChartAxis& bottom = *chart.BottomAxis();
    TChartAxis& left = *chart.LeftAxis();
};

// The mapping's own rounding must give what RoundHalfEven gives over the whole pixel range.
TEST(AxisPixelRounding, SameAsRoundHalfEven)
{
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.5,
                                  -0.5,
                                  1.5,
                                  -1.5,
                                  2.5,
                                  -2.5,
                                  0.49999999999999994,
                                  -0.49999999999999994,
                                  2147483646.5,
                                  -2147483646.5,
                                  2147483646.9,
                                  1e-300,
                                  -1e-300,
                                  4503599627370495.5 / 4194304.0};
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> wide(-2147483646.0, 2147483646.0);
    std::uniform_int_distribution<int> whole(-5000, 5000);
    for (int i = 0; i < 200000; ++i) {
        values.push_back(wide(rng));
        values.push_back(whole(rng) + 0.5);
        values.push_back(whole(rng) + std::nextafter(0.5, 0.0));
        values.push_back(whole(rng) + std::nextafter(0.5, 1.0));
    }
    for (double v : values)
        ASSERT_EQ(RoundHalfEvenSmall(v), RoundHalfEven(v)) << v;
}

TEST_F(AxisFixture, CreationOrderFlagsAndDefaults)
{
    const auto& axes = chart.AxesList();
    EXPECT_EQ(axes[0], chart.BottomAxis());
    EXPECT_EQ(axes[1], chart.TopAxis());
    EXPECT_EQ(axes[2], chart.LeftAxis());
    EXPECT_EQ(axes[3], chart.RightAxis());
    EXPECT_EQ(axes[4], chart.DepthAxis());
    EXPECT_TRUE(bottom.IsHorizontal);
    EXPECT_FALSE(bottom.IsFarSide);
    EXPECT_TRUE(chart.TopAxis()->IsHorizontal && chart.TopAxis()->IsFarSide);
    EXPECT_TRUE(!left.IsHorizontal && !left.IsFarSide);
    EXPECT_TRUE(chart.RightAxis()->IsFarSide);
    EXPECT_TRUE(chart.DepthAxis()->IsFarSide);
    EXPECT_FALSE(chart.DepthAxis()->Visible());
    EXPECT_EQ(left.Title().Angle(), 90);
    EXPECT_EQ(chart.RightAxis()->Title().Angle(), 270);
    EXPECT_EQ(bottom.Title().Angle(), 0);

    EXPECT_TRUE(bottom.Automatic() && bottom.AutomaticMinimum() && bottom.AutomaticMaximum());
    EXPECT_EQ(bottom.Minimum(), 0);
    EXPECT_EQ(bottom.Maximum(), 0);
    EXPECT_EQ(bottom.AxisValuesFormat(), "#,##0.###");
    EXPECT_EQ(bottom.Axis().Width(), 2);
    EXPECT_EQ(bottom.Grid().Color(), clGray);
    EXPECT_EQ(bottom.Grid().Style(), TPenStyle::psDot);
    EXPECT_FALSE(bottom.MinorGrid().Visible());
    EXPECT_EQ(bottom.Ticks().Color(), clGray);
    EXPECT_EQ(bottom.LabelsFont().Name(), "Arial");
    EXPECT_EQ(bottom.LabelsFont().Size(), 8);
    EXPECT_EQ(bottom.LabelsSeparation(), 10);
    EXPECT_EQ(bottom.MinorTickCount(), 3);
    EXPECT_EQ(bottom.MinorTickLength(), 2);
    EXPECT_EQ(bottom.TickLength(), 4);
    EXPECT_EQ(bottom.TickInnerLength(), 0);
    EXPECT_EQ(bottom.EndPosition(), 100);
    EXPECT_TRUE(bottom.ExactDateTime());
    EXPECT_TRUE(bottom.RoundFirstLabel());
    EXPECT_TRUE(bottom.TickOnLabelsOnly());
    EXPECT_TRUE(bottom.LabelsOnAxis());
    EXPECT_EQ(bottom.LabelStyle(), TAxisLabelStyle::talAuto);
}

TEST_F(AxisFixture, RangeWritesCheckTheOtherEnd)
{
    bottom.SetMaximum(10);
    bottom.SetMinimum(10); // equal accepted
    EXPECT_EQ(bottom.Minimum(), 10);
    EXPECT_EQ(AxisError([&] { bottom.SetMinimum(11); }), "Axis Minimum Value must be <= Maximum");
    EXPECT_EQ(bottom.Minimum(), 10);
    EXPECT_EQ(AxisError([&] { bottom.SetMaximum(9); }), "Axis Maximum Value must be >= Minimum");
    EXPECT_EQ(bottom.Maximum(), 10);
    EXPECT_TRUE(bottom.Automatic()); // range writes leave the flags alone
}

TEST_F(AxisFixture, LoadingSkipsRangeChecksAndFlagPropagation)
{
    chart.SetLoading(true);
    bottom.SetMinimum(50);
    bottom.SetMaximum(-5);
    bottom.SetAutomatic(false);
    EXPECT_TRUE(bottom.AutomaticMinimum());
    EXPECT_TRUE(bottom.AutomaticMaximum());
    chart.SetLoading(false);
    EXPECT_EQ(bottom.Minimum(), 50);
    EXPECT_EQ(bottom.Maximum(), -5);
}

TEST_F(AxisFixture, IncrementAndSeparationChecks)
{
    EXPECT_EQ(AxisError([&] { left.SetIncrement(-0.1); }), "Axis increment must be >= 0");
    EXPECT_EQ(left.Increment(), 0);
    left.SetIncrement(0.1);
    EXPECT_EQ(left.Increment(), 0.1);
    EXPECT_EQ(AxisError([&] { left.SetLabelsSeparation(-1); }),
              "Labels Separation % must be greater than 0");
    left.SetLabelsSeparation(0);
    EXPECT_EQ(left.LabelsSeparation(), 0);
}

TEST_F(AxisFixture, AutomaticFlagCoupling)
{
    bottom.SetAutomatic(false);
    EXPECT_FALSE(bottom.AutomaticMinimum());
    EXPECT_FALSE(bottom.AutomaticMaximum());
    bottom.SetAutomaticMinimum(true); // maximum still manual
    EXPECT_FALSE(bottom.Automatic());
    bottom.SetAutomaticMaximum(true);
    EXPECT_TRUE(bottom.Automatic());
    bottom.SetAutomaticMaximum(false);
    EXPECT_FALSE(bottom.Automatic());
    EXPECT_TRUE(bottom.AutomaticMinimum());
    bottom.SetAutomatic(true);
    EXPECT_TRUE(bottom.AutomaticMaximum());
}

TEST_F(AxisFixture, ChangedWritesRequestRepaintEqualWritesDoNot)
{
    auto count = [&] { return chart.RepaintRequestCount(); };
    auto n = count();
    bottom.SetMaximum(5);
    EXPECT_EQ(count(), n + 1);
    bottom.SetMaximum(5);
    bottom.SetLabelsAngle(0);
    bottom.Grid().SetVisible(true);
    EXPECT_EQ(count(), n + 1);
    bottom.Grid().SetColor(clRed);
    bottom.LabelsFont().SetHeight(-20);
    bottom.Title().SetCaption("t");
    EXPECT_EQ(count(), n + 4);
    bottom.SetAutomatic(false);
    EXPECT_EQ(count(), n + 5);
}

TEST_F(AxisFixture, SetRangeSwapsWidensAndClearsFlags)
{
    bottom.SetRange(5, 3);
    EXPECT_EQ(bottom.Minimum(), 3);
    EXPECT_EQ(bottom.Maximum(), 5);
    EXPECT_FALSE(bottom.Automatic() || bottom.AutomaticMinimum() || bottom.AutomaticMaximum());
    bottom.SetRange(2, 2);
    EXPECT_EQ(bottom.Minimum(), 2);
    EXPECT_EQ(bottom.Maximum(), 2 + 1e-10);
    bottom.SetRange(-1000, -900); // entirely below: no ordering trouble
    EXPECT_EQ(bottom.Minimum(), -1000);
    EXPECT_EQ(bottom.Maximum(), -900);
}

TEST_F(AxisFixture, ScrollByHonoursLimitsAndRepaintsAtOnce)
{
    TFastLineSeries s;
    chart.AddSeries(&s);
    s.AddPoint(0, 0, "", UseSeriesColor);
    s.AddPoint(100, 0, "", UseSeriesColor);
    bottom.SetRange(0, 100);
    const auto now = chart.RepaintNowCount();
    chart.OnRepaintNow = [] {};
    bottom.ScrollBy(10, true); // data max 100 not above Maximum 100
    EXPECT_EQ(bottom.Maximum(), 100);
    bottom.ScrollBy(0, true);
    bottom.ScrollBy(-10, true); // data min 0 not below Minimum 0
    EXPECT_EQ(bottom.Minimum(), 0);
    EXPECT_EQ(chart.RepaintNowCount(), now);

    bottom.SetAutomaticMaximum(true);
    bottom.ScrollBy(10, false);
    EXPECT_EQ(bottom.Minimum(), 10);
    EXPECT_EQ(bottom.Maximum(), 110);
    EXPECT_FALSE(bottom.AutomaticMaximum());
    EXPECT_EQ(chart.RepaintNowCount(), now + 1);
    bottom.ScrollBy(-5, true); // data min 0 is below 10
    EXPECT_EQ(bottom.Minimum(), 5);
    bottom.SetAutomatic(true);
    bottom.ScrollBy(1, false);
    EXPECT_FALSE(bottom.Automatic() || bottom.AutomaticMinimum() || bottom.AutomaticMaximum());
    EXPECT_EQ(bottom.Maximum(), 106);
}

TEST_F(AxisFixture, AdjustRangeFollowsDataOnlyOnAutomaticEnds)
{
    TFastLineSeries s;
    chart.AddSeries(&s);
    for (double y : {3.0, -2.0, 8.0})
        s.AddPoint(s.PointCount(), y, "", UseSeriesColor);
    left.AdjustRange();
    EXPECT_EQ(left.Minimum(), -2);
    EXPECT_EQ(left.Maximum(), 8);
    EXPECT_EQ(left.EffectiveRange, 10);
    bottom.AdjustRange();
    EXPECT_EQ(bottom.Maximum(), 2);
    chart.TopAxis()->AdjustRange();
    EXPECT_EQ(chart.TopAxis()->Maximum(), 0); // no series on it
    left.SetAutomatic(false);
    left.SetAutomaticMaximum(true);
    left.SetMinimum(-50);
    s.AddPoint(3, 20, "", UseSeriesColor);
    left.AdjustRange();
    EXPECT_EQ(left.Minimum(), -50);
    EXPECT_EQ(left.Maximum(), 20);
    EXPECT_EQ(left.EffectiveMinimum, -50);
}

TEST_F(AxisFixture, DataExtremesUseInactiveSeriesOnlyWhenNoActiveOneIsOnTheAxis)
{
    TFastLineSeries a, b;
    chart.AddSeries(&a);
    chart.AddSeries(&b);
    a.AddPoint(0, 5, "", UseSeriesColor);
    b.AddPoint(0, 50, "", UseSeriesColor);
    b.SetActive(false);
    EXPECT_EQ(left.DataMaximum(), 5);
    a.SetActive(false);
    EXPECT_EQ(left.DataMaximum(), 50);
}

TEST_F(AxisFixture, PixelSpanAndMappingRoundTrips)
{
    bottom.SetRange(0, 199);
    left.SetRange(30.5, 35.2);
    PlaceChartRect(chart, TRect{33, 20, 920, 293});
    EXPECT_EQ(bottom.StartPixel, 33);
    EXPECT_EQ(bottom.EndPixel, 920);
    EXPECT_EQ(bottom.AxisPixels, 887);
    EXPECT_EQ(bottom.CenterPixel, 476);
    EXPECT_EQ(left.StartPixel, 20);
    EXPECT_EQ(left.EndPixel, 293);
    EXPECT_EQ(bottom.ValueToPixel(0), 33);
    EXPECT_EQ(bottom.ValueToPixel(199), 920);
    EXPECT_EQ(left.ValueToPixel(30.5), 293); // larger values higher up
    EXPECT_EQ(left.ValueToPixel(35.2), 20);
    EXPECT_DOUBLE_EQ(bottom.PixelToValue(33), 0);
    EXPECT_DOUBLE_EQ(bottom.PixelToValue(920), 199);
    EXPECT_DOUBLE_EQ(left.PixelToValue(293), 30.5);
    EXPECT_DOUBLE_EQ(left.PixelToValue(20), 35.2);
    for (std::int32_t p = 33; p <= 920; p += 7)
        EXPECT_EQ(bottom.ValueToPixel(bottom.PixelToValue(p)), p);
    for (std::int32_t p = 20; p <= 293; p += 3)
        EXPECT_EQ(left.ValueToPixel(left.PixelToValue(p)), p);

    bottom.SetInverted(true);
    left.SetInverted(true);
    EXPECT_EQ(bottom.ValueToPixel(0), 920);
    EXPECT_EQ(left.ValueToPixel(30.5), 20);
    EXPECT_DOUBLE_EQ(bottom.PixelToValue(920), 0);
    EXPECT_DOUBLE_EQ(left.PixelToValue(20), 30.5);
}

TEST_F(AxisFixture, MappingUsesRoundHalfEvenAndTheLastLayout)
{
    bottom.SetRange(0, 4);
    PlaceChartRect(chart, TRect{0, 0, 10, 10}); // 10 px for 4 units: 2.5 px per unit
    EXPECT_EQ(bottom.ValueToPixel(1), 2); // 2.5 -> 2
    EXPECT_EQ(bottom.ValueToPixel(3), 8); // 7.5 -> 8
    bottom.SetRange(0, 8); // not laid out yet
    EXPECT_EQ(bottom.ValueToPixel(4), 10);
}

TEST_F(AxisFixture, DegenerateMappings)
{
    PlaceChartRect(chart, TRect{10, 10, 110, 60});
    EXPECT_EQ(bottom.EffectiveRange, 0);
    EXPECT_EQ(bottom.ValueToPixel(123), bottom.CenterPixel);
    bottom.SetRange(0, 1);
    PlaceChartRect(chart, TRect{10, 10, 110, 60});
    EXPECT_EQ(bottom.ValueToPixel(1e300), bottom.CenterPixel);
    EXPECT_EQ(bottom.ValueToPixel(std::numeric_limits<double>::quiet_NaN()), bottom.CenterPixel);
    EXPECT_EQ(bottom.ValueToPixel(-2e7), 10 - 2000000000); // fits in 32 bits
    // Offset fits but the sum with the start pixel would not: saturated, not wrapped.
    bottom.StartPixel = 2000000000;
    EXPECT_EQ(bottom.ValueToPixel(20000000), std::numeric_limits<std::int32_t>::max());
    bottom.AxisPixels = 0;
    EXPECT_EQ(bottom.PixelToValue(50), 0);
}

TEST_F(AxisFixture, PositionsInPercentOfThePlot)
{
    bottom.SetStartPosition(25);
    bottom.SetEndPosition(75);
    PlaceChartRect(chart, TRect{0, 0, 10, 10});
    EXPECT_EQ(bottom.StartPixel, 2); // round(2.5) = 2
    EXPECT_EQ(bottom.EndPixel, 8); // round(7.5) = 8
    EXPECT_EQ(bottom.CenterPixel, 5);
}

TEST_F(AxisFixture, HitTestBandFromLabelsToJustPastTheLine)
{
    TFastLineSeries s;
    chart.AddSeries(&s);
    bottom.StartPixel = 30;
    bottom.EndPixel = 100;
    bottom.AxisLinePos = 200;
    bottom.LabelAnchor = 210;
    EXPECT_TRUE(bottom.HitTest(30, 197));
    EXPECT_TRUE(bottom.HitTest(99, 209));
    EXPECT_FALSE(bottom.HitTest(100, 200)); // right edge excluded
    EXPECT_FALSE(bottom.HitTest(50, 210)); // bottom edge excluded
    EXPECT_FALSE(bottom.HitTest(50, 196));
    left.StartPixel = 10;
    left.EndPixel = 90;
    left.AxisLinePos = 40;
    left.LabelAnchor = 20;
    EXPECT_TRUE(left.HitTest(20, 10));
    EXPECT_TRUE(left.HitTest(42, 89));
    EXPECT_FALSE(left.HitTest(43, 50));
    EXPECT_FALSE(chart.TopAxis()->HitTest(50, 0)); // not visible: no series on it
    bottom.SetVisible(false);
    EXPECT_FALSE(bottom.HitTest(50, 200));
}

TEST_F(AxisFixture, VisibilityRule)
{
    // Without any active series all four standard axes are visible.
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(chart.IsAxisVisible(*chart.AxesList()[static_cast<std::size_t>(i)]));
    EXPECT_FALSE(chart.IsAxisVisible(*chart.DepthAxis()));
    TFastLineSeries s;
    chart.AddSeries(&s);
    EXPECT_TRUE(chart.IsAxisVisible(bottom));
    EXPECT_TRUE(chart.IsAxisVisible(left));
    EXPECT_FALSE(chart.IsAxisVisible(*chart.TopAxis()));
    EXPECT_FALSE(chart.IsAxisVisible(*chart.RightAxis()));
    chart.SetAxisVisible(false);
    EXPECT_FALSE(chart.IsAxisVisible(bottom));
}

TEST_F(AxisFixture, AssignCopiesPublishedProperties)
{
    left.SetIncrement(0.1);
    left.SetTickInnerLength(5);
    left.SetAutomatic(false);
    left.SetRange(1, 2);
    left.Grid().SetColor(clRed);
    TChartAxis copy(nullptr, false, false);
    copy.Assign(left);
    EXPECT_EQ(copy.Increment(), 0.1);
    EXPECT_EQ(copy.TickInnerLength(), 5);
    EXPECT_FALSE(copy.Automatic());
    EXPECT_EQ(copy.Maximum(), 2);
    EXPECT_EQ(copy.Grid().Color(), clRed);
    EXPECT_EQ(copy.Title().Angle(), 90);
}

// Every setting with a setter differs from its default on the source, and the copy has them all.
TEST_F(AxisFixture, AssignCopiesEverySetting)
{
    left.SetAutomaticMaximum(false);
    left.SetAxisValuesFormat("0.0");
    left.SetDateTimeFormat("hh:nn");
    left.SetExactDateTime(false);
    left.SetGridCentered(true);
    left.SetInverted(true);
    left.SetLabels(false);
    left.SetLabelsAngle(90);
    left.SetLabelsMultiLine(true);
    left.SetLabelsOnAxis(false);
    left.SetLabelsSeparation(20);
    left.SetLabelsSize(7);
    left.SetLabelStyle(TAxisLabelStyle::talValue);
    left.SetLogarithmic(true);
    left.SetLogarithmicBase(2);
    left.SetMinorTickCount(5);
    left.SetMinorTickLength(6);
    left.SetStartPosition(10);
    left.SetEndPosition(90);
    left.SetPositionPercent(3);
    left.SetRoundFirstLabel(false);
    left.SetTickLength(9);
    left.SetTickOnLabelsOnly(false);
    left.SetTitleSize(11);
    left.SetVisible(false);
    TChartAxis copy(nullptr, false, false);
    copy.Assign(left);
    EXPECT_FALSE(copy.AutomaticMaximum());
    EXPECT_EQ(copy.AxisValuesFormat(), "0.0");
    EXPECT_EQ(copy.DateTimeFormat(), "hh:nn");
    EXPECT_FALSE(copy.ExactDateTime());
    EXPECT_TRUE(copy.GridCentered());
    EXPECT_TRUE(copy.Inverted());
    EXPECT_FALSE(copy.Labels());
    EXPECT_EQ(copy.LabelsAngle(), 90);
    EXPECT_TRUE(copy.LabelsMultiLine());
    EXPECT_FALSE(copy.LabelsOnAxis());
    EXPECT_EQ(copy.LabelsSeparation(), 20);
    EXPECT_EQ(copy.LabelsSize(), 7);
    EXPECT_EQ(copy.LabelStyle(), TAxisLabelStyle::talValue);
    EXPECT_TRUE(copy.Logarithmic());
    EXPECT_EQ(copy.LogarithmicBase(), 2);
    EXPECT_EQ(copy.MinorTickCount(), 5);
    EXPECT_EQ(copy.MinorTickLength(), 6);
    EXPECT_EQ(copy.StartPosition(), 10);
    EXPECT_EQ(copy.EndPosition(), 90);
    EXPECT_EQ(copy.PositionPercent(), 3);
    EXPECT_FALSE(copy.RoundFirstLabel());
    EXPECT_EQ(copy.TickLength(), 9);
    EXPECT_FALSE(copy.TickOnLabelsOnly());
    EXPECT_EQ(copy.TitleSize(), 11);
    EXPECT_FALSE(copy.Visible());
}

} // namespace
} // namespace rv
