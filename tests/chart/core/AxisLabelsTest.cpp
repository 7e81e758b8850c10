#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "ChartDataSupport.h"
#include "rangeview/chart/Chart.h"
#include "rangeview/chart/NumberFormat.h"

namespace rv {
namespace {

using testing::FixedTextMeasure;
using testing::PlaceChartRect;

TEST(NextLabelStep, OneTwoFiveSequence)
{
    const std::pair<double, double> cases[] = {{1, 2},     {2, 5},    {5, 10},    {7, 10},
                                               {10, 20},   {3, 5},    {120, 200}, {1.5, 2},
                                               {9.99, 10}, {4.999, 5}};
    for (auto [x, want] : cases)
        EXPECT_EQ(TCustomChartAxis::NextLabelStep(x), want) << x;
    EXPECT_DOUBLE_EQ(TCustomChartAxis::NextLabelStep(0.1), 0.2);
    EXPECT_DOUBLE_EQ(TCustomChartAxis::NextLabelStep(0.2), 0.5);
    EXPECT_DOUBLE_EQ(TCustomChartAxis::NextLabelStep(0.5), 1);
    // 1e-12 scaled up twelve times lands just under 1, so the sequence does not step to 2e-12.
    EXPECT_LT(TCustomChartAxis::NextLabelStep(1e-12), 1.01e-12);
    EXPECT_DOUBLE_EQ(TCustomChartAxis::NextLabelStep(3e20), 5e20);
}

TEST(NextLabelStep, MatchesTheRecursiveFormBitForBit)
{
    // Straight from the definition.
    std::function<double(double)> recursive = [&](double x) -> double {
        if (x >= 10)
            return recursive(x * 0.1) * 10;
        if (x < 1)
            return recursive(x * 10) * 0.1;
        return x < 2 ? 2 : (x < 5 ? 5 : 10);
    };
    for (double x = 1e-9; x < 1e9; x *= 1.37)
        EXPECT_EQ(TCustomChartAxis::NextLabelStep(x), recursive(x)) << x;
}

TEST(NextLabelStep, DegenerateInputsReturnWithoutLooping)
{
    EXPECT_EQ(TCustomChartAxis::NextLabelStep(0), 0);
    EXPECT_EQ(TCustomChartAxis::NextLabelStep(-3), -3);
    EXPECT_TRUE(
        std::isinf(TCustomChartAxis::NextLabelStep(std::numeric_limits<double>::infinity())));
    EXPECT_TRUE(
        std::isnan(TCustomChartAxis::NextLabelStep(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_GT(TCustomChartAxis::NextLabelStep(std::numeric_limits<double>::denorm_min()), 0);
}

TEST(FormatFloat, AxisPatternWithEnglishSeparators)
{
    const TFormatSettings en;
    const char* f = "#,##0.###";
    EXPECT_EQ(FormatFloat(f, 199, en), "199");
    EXPECT_EQ(FormatFloat(f, 0.5, en), "0.5");
    EXPECT_EQ(FormatFloat(f, 1234.5, en), "1,234.5");
    EXPECT_EQ(FormatFloat(f, 33.3333, en), "33.333");
    EXPECT_EQ(FormatFloat(f, -0.5, en), "-0.5");
    EXPECT_EQ(FormatFloat(f, 1000, en), "1,000");
    EXPECT_EQ(FormatFloat(f, 0.25, en), "0.25");
    EXPECT_EQ(FormatFloat(f, 0, en), "0");
    EXPECT_EQ(FormatFloat(f, -0.0, en), "0");
    EXPECT_EQ(FormatFloat(f, -0.0004, en), "0"); // no "-0"
    EXPECT_EQ(FormatFloat(f, -0.0005, en), "-0.001");
    EXPECT_EQ(FormatFloat(f, 0.9995, en), "1");
    EXPECT_EQ(FormatFloat(f, 999999.9996, en), "1,000,000");
    EXPECT_EQ(FormatFloat(f, 0.1 + 0.2, en), "0.3");
    EXPECT_EQ(FormatFloat(f, 2.0005, en), "2.001"); // half away from zero on the decimal form
    EXPECT_EQ(FormatFloat(f, 1e15, en), "1,000,000,000,000,000");
    EXPECT_EQ(FormatFloat(f, -123456789.25, en), "-123,456,789.25");
    EXPECT_EQ(FormatFloat(f, 1.5e20, en), "1.5E20");
    EXPECT_EQ(FormatFloat(f, std::numeric_limits<double>::infinity(), en), "INF");
    EXPECT_EQ(FormatFloat(f, -std::numeric_limits<double>::infinity(), en), "-INF");
    EXPECT_EQ(FormatFloat(f, std::numeric_limits<double>::quiet_NaN(), en), "NAN");
}

// FormatFloat rounds the 15 significant digits printf's "%.14e" gives, spelt by to_chars.
TEST(FormatFloat, SignificantDigitsAreThoseOfPrintf)
{
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    std::uniform_int_distribution<int> exponent(-30, 20);
    const auto same = [](double v) {
        char printed[40];
        std::snprintf(printed, sizeof printed, "%.14e", v);
        char spelt[40];
        const auto r =
            std::to_chars(spelt, spelt + sizeof spelt - 1, v, std::chars_format::scientific, 14);
        *r.ptr = '\0';
        return std::string(printed) == spelt;
    };
    for (int i = 0; i < 20000; ++i) {
        const double v = mantissa(rng) * std::pow(10.0, exponent(rng));
        ASSERT_TRUE(same(v)) << v;
    }
    // Halfway cases of the 15th digit, and the extremes.
    for (const double v : {0.0, 0.125, 2.5, 1e15 + 0.5, 0.1 + 0.2, 1.0000000000000005,
                           std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::max(), 1234.56789012345678})
        EXPECT_TRUE(same(v)) << v;
    const TFormatSettings en;
    EXPECT_EQ(FormatFloat("###0.00", 101.005, en), "101.01"); // 101.00500000000 rounds away
    EXPECT_EQ(FormatFloat("###0.00", 0.125, en), "0.13");
}

TEST(FormatFloat, OtherPicturesAndSeparators)
{
    const TFormatSettings de{",", "."};
    EXPECT_EQ(FormatFloat("#,##0.###", 1234.5, de), "1.234,5");
    EXPECT_EQ(FormatFloat("###0.00", 103, de), "103,00");
    const TFormatSettings en;
    EXPECT_EQ(FormatFloat("###0.00", 1234.5, en), "1234.50");
    EXPECT_EQ(FormatFloat("###0.00", -0.004, en), "0.00");
    EXPECT_EQ(FormatFloat("###0.00", 0.125, en), "0.13");
    EXPECT_EQ(FormatFloat("##0.## %", 12.345, en), "12.35 %");
    EXPECT_EQ(FormatFloat("0000", 7, en), "0007");
    EXPECT_EQ(FormatFloat("#", 0, en), "");
    EXPECT_EQ(FormatFloat("'x='0.0", 2, en), "x=2.0");
    const TFormatSettings wide{".", "\xE2\x80\xAF"}; // narrow no-break space, as some locales use
    EXPECT_EQ(FormatFloat("#,##0", 1234567, wide), "1\xE2\x80\xAF"
                                                   "234\xE2\x80\xAF"
                                                   "567");
}

struct LabelFixture : ::testing::Test {
    FixedTextMeasure measure{6, 12};
    TCustomAxisPanel chart;
    TFastLineSeries series;
    TChartAxis& bottom = *chart.BottomAxis();
    TChartAxis& left = *chart.LeftAxis();
    LabelFixture()
    {
        chart.SetTextMeasure(&measure);
        chart.AddSeries(&series);
    }
};

TEST_F(LabelFixture, WorkedExampleHorizontal)
{
    bottom.SetRange(0, 199);
    PlaceChartRect(chart, TRect{0, 0, 900, 300});
    EXPECT_EQ(bottom.LabelStep(), 5);
    EXPECT_EQ(bottom.LabelCapacity, 45);
    EXPECT_EQ(bottom.LabelSize, 18);
}

TEST_F(LabelFixture, WorkedExampleVertical)
{
    measure.Height = 14;
    left.SetIncrement(0.1);
    left.SetRange(30.5, 35.2);
    PlaceChartRect(chart, TRect{0, 0, 500, 250});
    EXPECT_EQ(left.LabelStep(), 0.5);
    EXPECT_EQ(left.LabelCapacity, 17);
}

TEST_F(LabelFixture, StepStartsAtIncrementOrOneAndStaysWithoutSeparation)
{
    bottom.SetRange(0, 199);
    PlaceChartRect(chart, TRect{0, 0, 900, 300});
    bottom.SetLabelsSeparation(0);
    EXPECT_EQ(bottom.LabelStep(), 1);
    bottom.SetIncrement(7);
    EXPECT_EQ(bottom.LabelStep(), 7);
    bottom.SetRange(0, 0.5);
    bottom.SetIncrement(0);
    PlaceChartRect(chart, TRect{0, 0, 900, 300});
    EXPECT_EQ(bottom.LabelStep(), 1e-12);
}

TEST_F(LabelFixture, NoRoomGivesTinyStepAndUnmeasuredLabelsGiveCapacityOne)
{
    bottom.SetRange(0, 199);
    EXPECT_EQ(bottom.AxisPixels, 0); // before any layout
    EXPECT_EQ(bottom.LabelStep(), 1e-12);
    EXPECT_EQ(bottom.LabelCapacity, 0);
    chart.SetTextMeasure(nullptr);
    PlaceChartRect(chart, TRect{0, 0, 900, 300});
    (void)bottom.LabelStep();
    EXPECT_EQ(bottom.LabelCapacity, 1);
}

TEST_F(LabelFixture, StepSearchEndsOnUnusualRanges)
{
    PlaceChartRect(chart, TRect{0, 0, 900, 300});
    bottom.EffectiveMinimum = 0;
    bottom.EffectiveMaximum = 1e300;
    bottom.EffectiveRange = 1e300;
    EXPECT_GT(bottom.LabelStep(), 1e290);
    bottom.EffectiveRange = std::numeric_limits<double>::infinity();
    EXPECT_EQ(bottom.LabelStep(), 1);
    bottom.EffectiveRange = std::numeric_limits<double>::quiet_NaN();
    (void)bottom.LabelStep(); // returns at all
}

TEST_F(LabelFixture, LabelTextsEventAndLineBreaks)
{
    EXPECT_EQ(bottom.LabelTextFor(1234.5), "1,234.5");
    chart.FormatSettings = TFormatSettings{",", "."};
    EXPECT_EQ(bottom.LabelTextFor(1234.5), "1.234,5");
    chart.FormatSettings = TFormatSettings{};
    chart.OnGetAxisLabel = [&](TCustomChartAxis* sender, TChartSeries* s, std::int32_t index,
                               std::string& text) {
        EXPECT_EQ(sender, &bottom);
        EXPECT_EQ(s, nullptr);
        EXPECT_EQ(index, -1);
        text += " mm";
    };
    EXPECT_EQ(bottom.LabelTextFor(5), "5 mm");
    bottom.SetLabelsMultiLine(true);
    const std::string text = bottom.LabelTextFor(5);
    EXPECT_EQ(text, "5\rmm");
    EXPECT_EQ(TCustomChartAxis::LineCount(text), 2);
    EXPECT_EQ(TCustomChartAxis::LineCount(""), 0);
    EXPECT_EQ(bottom.LabelWidth(5), 12); // widest line "mm"
    EXPECT_EQ(bottom.LabelHeight(5), 24); // two lines
    bottom.SetLabelsAngle(90);
    EXPECT_EQ(bottom.LabelWidth(5), 24);
    EXPECT_EQ(bottom.LabelHeight(5), 12);
}

TEST_F(LabelFixture, EffectiveStyle)
{
    EXPECT_EQ(bottom.EffectiveLabelStyle(), TAxisLabelStyle::talValue);
    EXPECT_EQ(left.EffectiveLabelStyle(), TAxisLabelStyle::talValue);
    EXPECT_EQ(chart.TopAxis()->EffectiveLabelStyle(), TAxisLabelStyle::talNone);
    series.AddPoint(0, 0, "first", UseSeriesColor);
    EXPECT_EQ(bottom.EffectiveLabelStyle(), TAxisLabelStyle::talText);
    EXPECT_EQ(left.EffectiveLabelStyle(), TAxisLabelStyle::talValue);
    series.SetActive(false);
    EXPECT_EQ(bottom.EffectiveLabelStyle(), TAxisLabelStyle::talNone);
    bottom.SetLabelStyle(TAxisLabelStyle::talValue);
    EXPECT_EQ(bottom.EffectiveLabelStyle(), TAxisLabelStyle::talValue);
}

TEST_F(LabelFixture, TickBandSizes)
{
    // Bottom axis of the waveform: line 2 + ticks 4, minor ticks of length 0.
    bottom.SetMinorTickLength(0);
    EXPECT_EQ(bottom.TickBandSize(), 6);
    // Left axis: line 2 + ticks 0, then at least the minor tick length 2.
    left.SetTickLength(0);
    EXPECT_EQ(left.TickBandSize(), 2);
    left.SetMinorTickLength(7);
    EXPECT_EQ(left.TickBandSize(), 7);
    left.MinorTicks().SetVisible(false);
    left.Axis().SetVisible(false);
    EXPECT_EQ(left.TickBandSize(), 0);
}

TEST_F(LabelFixture, ReserveSpaceBottomTakesTextLinePlusTicks)
{
    bottom.SetRange(0, 199);
    bottom.SetMinorTickLength(0);
    TRect r{33, 45, 920, 293};
    bottom.ReserveSpace(r);
    EXPECT_EQ(bottom.LabelAnchor, 281);
    EXPECT_EQ(r, (TRect{33, 45, 920, 275}));
    EXPECT_EQ(measure.LastFont, bottom.LabelsFont().Data());
}

TEST_F(LabelFixture, ReserveSpaceLeftTakesWidestRoundedLabelPlusBlank)
{
    left.SetIncrement(0.1);
    left.SetTickLength(0);
    left.SetRange(30.5, 35.2);
    measure.Height = 14;
    PlaceChartRect(chart, TRect{0, 0, 500, 250}); // previous layout: step 0.5
    TRect r{33, 45, 920, 293};
    left.ReserveSpace(r);
    // Labels at 30.5 and 35 ("35.2" rounded down to the step): "30.5" is widest, plus " ".
    EXPECT_EQ(left.LabelAnchor, 33 + 30);
    EXPECT_EQ(r.Left, 33 + 30 + 2);
    left.SetRoundFirstLabel(false);
    r = TRect{33, 45, 920, 293};
    left.ReserveSpace(r);
    EXPECT_EQ(r.Left, 33 + 30 + 2); // "35.2" and "30.5" both 4 characters
}

TEST_F(LabelFixture, LabelHandlerIsDetachedWhileMeasuringTheBand)
{
    left.SetRange(0, 1000);
    PlaceChartRect(chart, TRect{0, 0, 500, 250});
    int calls = 0;
    chart.OnGetAxisLabel = [&](TCustomChartAxis*, TChartSeries*, std::int32_t, std::string& t) {
        ++calls;
        t = "a very long label";
    };
    const int before = calls;
    const std::int32_t band = left.LabelsBandSize();
    EXPECT_LT(band, 17 * 6); // the long text was not measured for the width
    EXPECT_GT(calls, before); // the step search still used the handler
    ASSERT_TRUE(chart.OnGetAxisLabel); // put back
    std::string t;
    chart.OnGetAxisLabel(nullptr, nullptr, -1, t);
    EXPECT_EQ(t, "a very long label");
}

TEST_F(LabelFixture, TitleAndFixedSizesAndPositionPercent)
{
    left.Title().SetCaption("cm");
    left.SetLabelsSize(20);
    left.SetTickLength(0);
    left.SetMinorTickLength(0);
    TRect r{10, 10, 110, 110};
    left.ReserveSpace(r);
    EXPECT_EQ(left.TitleAnchor, 22); // title runs along the axis: one text line
    EXPECT_EQ(left.LabelAnchor, 42);
    EXPECT_EQ(r.Left, 44);
    left.Title().SetAngle(0); // across the axis: its width
    left.SetTitleSize(0);
    r = TRect{10, 10, 110, 110};
    left.ReserveSpace(r);
    EXPECT_EQ(left.TitleAnchor, 22);
    left.SetTitleSize(30);
    r = TRect{10, 10, 110, 110};
    left.ReserveSpace(r);
    EXPECT_EQ(left.TitleAnchor, 40);
    left.SetPositionPercent(10);
    r = TRect{10, 10, 110, 110};
    left.ReserveSpace(r);
    EXPECT_EQ(left.LabelAnchor, 60 + 5); // moved into the plot by 10 % of the remaining width
    left.SetLabels(false);
    r = TRect{10, 10, 110, 110};
    left.ReserveSpace(r);
    EXPECT_EQ(r.Left, 42);
}

// Layout runs on every paint: an anchor not placed in a pass must not be shifted again.
TEST_F(LabelFixture, PositionPercentDoesNotCreepOverRepeatedLayouts)
{
    left.SetTickLength(0);
    left.SetMinorTickLength(0);
    left.SetLabelsSize(20);
    left.SetPositionPercent(10);
    TRect r{10, 10, 110, 110};
    left.ReserveSpace(r);
    const std::int32_t title = left.TitleAnchor; // no caption: never placed
    EXPECT_EQ(left.LabelAnchor, 30 + 8); // 10 % of the remaining 80 px
    left.SetLabels(false);
    for (int paint = 0; paint < 3; ++paint) {
        r = TRect{10, 10, 110, 110};
        left.ReserveSpace(r);
        EXPECT_EQ(left.LabelAnchor, 38) << paint;
        EXPECT_EQ(left.TitleAnchor, title) << paint;
    }
}

// The waveform chart: title already placed, bottom and left axes laid out on the first paint.
TEST_F(LabelFixture, PlotLayoutOfTheWaveformChart)
{
    bottom.SetAutomatic(false);
    bottom.SetMaximum(199);
    bottom.SetMinorTickCount(0);
    bottom.SetMinorTickLength(0);
    left.SetAutomatic(false);
    left.SetIncrement(0.1);
    left.SetTickInnerLength(5);
    left.SetTickLength(0);
    chart.RightAxis()->SetTickLength(3);
    chart.SetChartRect(TRect{33, 45, 920, 293});
    chart.LayoutPlotArea();
    // Bottom: 12 + 6; left: "0" + " " = 12, plus 2. Top and right take nothing.
    EXPECT_EQ(chart.ChartRect(), (TRect{47, 45, 920, 275}));
    EXPECT_EQ(chart.ChartWidth(), 873);
    EXPECT_EQ(chart.ChartHeight(), 230);
    EXPECT_EQ(bottom.StartPixel, 47);
    EXPECT_EQ(bottom.EndPixel, 920);
    EXPECT_EQ(left.StartPixel, 45);
    EXPECT_EQ(left.EndPixel, 275);
    EXPECT_EQ(bottom.EffectiveMaximum, 199);
    EXPECT_EQ(left.EffectiveRange, 0);
    EXPECT_EQ(left.ValueToPixel(0), left.CenterPixel);
    EXPECT_EQ(chart.TopAxis()->EffectiveMaximum, 0);
    // Second paint uses the previous size for the step: 0 .. 199 over 873 px gets step 5.
    chart.SetChartRect(TRect{33, 45, 920, 293});
    chart.LayoutPlotArea();
    EXPECT_EQ(bottom.LabelStep(), 5);
}

TEST_F(LabelFixture, ReservationThatWouldInvertTheRectangleIsDropped)
{
    bottom.SetLabelsSize(500);
    chart.SetChartRect(TRect{0, 0, 100, 100});
    chart.ReserveAxesSpace();
    EXPECT_EQ(chart.ChartRect().Bottom, 100);
}

struct MarginSeries : TFastLineSeries {
    void HorizMargins(std::int32_t& l, std::int32_t& r) const override { l = r = 10; }
};

TEST(PlotLayoutMargins, AutomaticAxisWidensItsEffectiveRangeByTheSeriesMargins)
{
    TCustomAxisPanel chart;
    MarginSeries s;
    chart.AddSeries(&s);
    s.AddPoint(0, 0, "", UseSeriesColor);
    s.AddPoint(100, 1, "", UseSeriesColor);
    chart.SetAxisVisible(false);
    chart.SetChartRect(TRect{0, 0, 100, 100});
    chart.LayoutPlotArea();
    TChartAxis& bottom = *chart.BottomAxis();
    EXPECT_DOUBLE_EQ(bottom.EffectiveMinimum, -12.5);
    EXPECT_DOUBLE_EQ(bottom.EffectiveMaximum, 112.5);
    EXPECT_EQ(bottom.StartPixel, 0);
    EXPECT_EQ(bottom.EndPixel, 100);
    EXPECT_EQ(bottom.ValueToPixel(0), 10);
    EXPECT_EQ(bottom.ValueToPixel(100), 90);
    // A manual axis keeps its range.
    bottom.SetRange(0, 100);
    chart.LayoutPlotArea();
    EXPECT_EQ(bottom.EffectiveMinimum, 0);
}

TEST(ChartRectangle, NormalisationRule)
{
    TCustomAxisPanel chart;
    chart.SetSize(953, 313);
    chart.ChartBounds = TRect{0, 0, 953, 313};
    chart.SetChartRect(TRect{33, 20, 920, 293});
    EXPECT_EQ(chart.ChartXCenter(), 476);
    EXPECT_EQ(chart.ChartYCenter(), 156);
    chart.SetChartRect(TRect{-5, -5, 10, 10});
    EXPECT_EQ(chart.ChartRect(), (TRect{0, 0, 10, 10}));
    chart.SetChartRect(TRect{50, 50, 40, 30});
    EXPECT_EQ(chart.ChartRect(), (TRect{50, 50, 51, 51}));
    chart.SetChartRect(TRect{50, 50, 50, 50});
    EXPECT_EQ(chart.ChartRect(), (TRect{50, 50, 1003, 363}));
    chart.SetSize(0, 0);
    chart.SetChartRect(TRect{50, 50, 50, 50});
    EXPECT_EQ(chart.ChartRect(), (TRect{50, 50, 51, 51})); // never empty
}

TEST(ChartPanel, DefaultsAndRepaintGate)
{
    TCustomAxisPanel chart;
    EXPECT_EQ(chart.MarginTop(), 4);
    EXPECT_EQ(chart.MarginLeft(), 3);
    EXPECT_TRUE(chart.View3D());
    EXPECT_TRUE(chart.AxisVisible());
    EXPECT_TRUE(chart.ClipPoints());
    EXPECT_EQ(chart.Color(), clBtnFace);
    EXPECT_EQ(chart.BevelOuter(), TPanelBevel::bvRaised);
    EXPECT_EQ(chart.BevelInner(), TPanelBevel::bvNone);
    EXPECT_EQ(chart.Width(), 400);
    int hooked = 0;
    chart.OnRequestRepaint = [&] { ++hooked; };
    chart.SetMarginTop(5);
    chart.SetMarginTop(5);
    EXPECT_EQ(hooked, 1);
    chart.SetAutoRepaint(false);
    chart.SetBorderWidth(4);
    EXPECT_EQ(hooked, 1);
    EXPECT_EQ(chart.BorderWidth(), 4);
}

} // namespace
} // namespace rv
