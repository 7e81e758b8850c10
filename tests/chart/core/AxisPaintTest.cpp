// Axis drawing: label values and placement, axis line, ticks, grid and minor ticks, checked on
// the recording surface (fake font: 6 pixels per character, 12 high).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AxisPaint.h"
#include "ChartPaint.h"
#include "rangeview/chart/ChartSetup.h"
#include "rangeview/chart/RecordingSurface.h"
#include "rangeview/common/Numeric.h"

namespace rv {
namespace {

std::vector<double> LabelValues(double lo, double hi, double step, bool round = true)
{
    std::vector<double> out;
    ForEachDefaultLabelValue(lo, hi, step, round, [&](double v) { out.push_back(v); });
    return out;
}

TEST(DefaultLabelValues, FromTheTopDownAtWholeMultiples)
{
    const auto v = LabelValues(0, 199, 5);
    ASSERT_EQ(v.size(), 40u);
    EXPECT_EQ(v.front(), 195);
    EXPECT_EQ(v[1], 190);
    EXPECT_EQ(v.back(), 0);
}

TEST(DefaultLabelValues, TruncationDropsTheMaximumOfATenthsRange)
{
    // 0.3 / 0.1 is just under 3 in doubles.
    const auto v = LabelValues(0, 0.3, 0.1);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_NEAR(v[0], 0.2, 1e-15);
    EXPECT_NEAR(v[1], 0.1, 1e-15);
    EXPECT_NEAR(v[2], 0.0, 1e-15);
}

TEST(DefaultLabelValues, MinimumOfMinusOneOrLessIsDropped)
{
    EXPECT_EQ(LabelValues(-10, 10, 5), (std::vector<double>{10, 5, 0, -5}));
    EXPECT_EQ(LabelValues(0, 10, 5), (std::vector<double>{10, 5, 0}));
    EXPECT_EQ(LabelValues(30.5, 35.2, 0.5).back(), 30.5);
}

TEST(DefaultLabelValues, EqualEndsOrNoRoundingStartAtTheMaximum)
{
    EXPECT_EQ(LabelValues(0, 0, 0.1), std::vector<double>{0});
    const auto v = LabelValues(0, 7, 2, false);
    EXPECT_EQ(v, (std::vector<double>{7, 5, 3, 1}));
}

TEST(DefaultLabelValues, TooManyOrInvalidGiveNone)
{
    EXPECT_TRUE(LabelValues(0, 10000, 1).empty());
    EXPECT_EQ(LabelValues(0, 9999, 1).size(), 10000u);
    EXPECT_TRUE(LabelValues(0, 10, 0).empty());
    EXPECT_TRUE(LabelValues(5, 1, 1).empty());
}

TEST(DefaultLabelValues, StepBelowTheDoubleSpacingEnds)
{
    // Near 1e17 subtracting 1 changes nothing; the loop must still end.
    const auto v = LabelValues(1e17 - 100, 1e17, 1);
    EXPECT_LE(v.size(), 1u);
    // A quotient beyond 64 bits starts at the maximum instead.
    const auto w = LabelValues(1e30 - 1e16, 1e30, 1e13);
    EXPECT_FALSE(w.empty());
    EXPECT_EQ(w.front(), 1e30);
}

class AxisPaintTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        series = ConfigureChart1(chart);
        chart.Canvas().SetOwnSurface(&surface);
        for (int i = 0; i < 3; ++i)
            series->AddPoint(i, 1, "", UseSeriesColor);
    }
    void Paint()
    {
        surface.ClearRecords();
        chart.Canvas().ImageDirty = true;
        chart.PaintHandler();
    }
    std::vector<TSurfaceRecord> LabelCalls(THorizTextAlign align) const
    {
        std::vector<TSurfaceRecord> out;
        for (const auto& r : surface.Calls(TSurfaceOp::TextOut)) {
            if (r.Layer == 1 && r.HAlign == align && r.Font.Height != -14)
                out.push_back(r);
        }
        return out;
    }
    std::vector<std::string> Labels(THorizTextAlign align) const
    {
        std::vector<std::string> out;
        for (const auto& r : LabelCalls(align))
            out.push_back(r.Text);
        return out;
    }
    // Segments with a pen of this colour and style, before the series is drawn.
    std::vector<TRecordedSegment> AxisSegments(TColor color, TPenStyle style,
                                               std::int32_t width) const
    {
        std::vector<TRecordedSegment> out;
        for (const auto& s : surface.Segments()) {
            if (s.Layer == 1 && !s.Clipped && s.Pen.Color == color && s.Pen.Style == style &&
                s.Pen.Width == width) {
                out.push_back(s);
            }
        }
        return out;
    }
    std::vector<std::int32_t> Ticks(std::size_t axis) const
    {
        const auto& t = chart.TickPositions(axis);
        return std::vector<std::int32_t>(t.Positions.begin(), t.Positions.begin() + t.Count);
    }

    TChart chart;
    TFastLineSeries* series = nullptr;
    TRecordingSurface surface;
};

TEST_F(AxisPaintTest, BottomAxisLabelsTicksAndGrid)
{
    Paint();
    std::vector<std::string> expected;
    for (int v = 195; v >= 0; v -= 5)
        expected.push_back(std::to_string(v));
    EXPECT_EQ(Labels(THorizTextAlign::taCenter), expected);

    TCustomChartAxis& axis = *chart.BottomAxis();
    const auto ticks = Ticks(0);
    ASSERT_EQ(ticks.size(), 40u);
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_EQ(ticks[i], axis.ValueToPixel(195.0 - 5.0 * static_cast<double>(i)));
    }
    // Labels centred on their position, their top on the label anchor.
    const auto calls = LabelCalls(THorizTextAlign::taCenter);
    EXPECT_EQ(calls[0].X, ticks[0]);
    EXPECT_EQ(calls[0].Y, 281);
    EXPECT_EQ(calls[0].VAlign, TVertTextAlign::taTop);
    EXPECT_EQ(calls[0].BkMode, TBkMode::bkTransparent);
    EXPECT_EQ(calls[0].Brush.Style, TBrushStyle::bsClear);

    // Axis line: 2 pixels, black, along the bottom edge.
    const auto lines = AxisSegments(clBlack, TPenStyle::psSolid, 2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].Y0, 275);
    EXPECT_EQ(lines[0].Y1, 275);
    EXPECT_EQ(lines[0].X0, 47);
    EXPECT_EQ(lines[0].X1, 920);
    EXPECT_EQ(lines[1].X0, 47);
    EXPECT_EQ(lines[1].Y0, 37);
    EXPECT_EQ(lines[1].Y1, 275);

    // Outward ticks of 4 below the line at every label, then the dotted grid over the plot.
    const auto solid = AxisSegments(clGray, TPenStyle::psSolid, 1);
    std::vector<TRecordedSegment> bottomTicks;
    for (const auto& s : solid) {
        if (s.X0 == s.X1 && s.Y0 == 276)
            bottomTicks.push_back(s);
    }
    ASSERT_EQ(bottomTicks.size(), 40u);
    EXPECT_EQ(bottomTicks[0].X0, ticks[0]);
    EXPECT_EQ(bottomTicks[0].Y1, 280);
    std::vector<TRecordedSegment> grid;
    for (const auto& s : AxisSegments(clGray, TPenStyle::psDot, 1)) {
        if (s.X0 == s.X1)
            grid.push_back(s);
    }
    ASSERT_EQ(grid.size(), 40u);
    EXPECT_EQ(grid[0].X0, ticks[0]);
    EXPECT_EQ(grid[0].Y0, 37);
    EXPECT_EQ(grid[0].Y1, 275);
    // Zero-length inward ticks above the line; no minor ticks (count 0).
    for (const auto& s : solid) {
        if (s.X0 != s.X1 || (s.Y0 == s.Y1 && s.Y0 != 274))
            continue;
        if (s.Y0 == 274) {
            EXPECT_EQ(s.Y1, 274);
        } else {
            EXPECT_EQ(s.Y0, 276);
        }
    }
}

TEST_F(AxisPaintTest, LeftAxisTenthsLabelsAndTicks)
{
    chart.LeftAxis()->SetMaximum(0.3);
    Paint();
    Paint(); // the left label room settles on the second layout
    EXPECT_EQ(Labels(THorizTextAlign::taRight), (std::vector<std::string>{"0.2", "0.1", "0"}));
    TCustomChartAxis& axis = *chart.LeftAxis();
    const auto calls = LabelCalls(THorizTextAlign::taRight);
    const auto ticks = Ticks(2);
    ASSERT_EQ(ticks.size(), 3u);
    // Right-aligned on the anchor, one line centred on the position.
    EXPECT_EQ(calls[0].X, axis.LabelAnchor);
    EXPECT_EQ(calls[0].Y, ticks[0] - 6);
    EXPECT_EQ(ticks[2], axis.EndPixel);

    const std::int32_t line = axis.AxisLinePos;
    EXPECT_EQ(line, chart.ChartRect().Left);
    std::vector<TRecordedSegment> inner, outer, minor;
    for (const auto& s : AxisSegments(clGray, TPenStyle::psSolid, 1)) {
        if (s.Y0 != s.Y1)
            continue;
        if (s.X0 == line + 1)
            inner.push_back(s);
        if (s.X0 == line - 1 && s.X1 == line - 1)
            outer.push_back(s);
        if (s.X0 == line - 1 && s.X1 == line - 3)
            minor.push_back(s);
    }
    // Zero-length outward ticks, 5-pixel inward ticks.
    ASSERT_EQ(outer.size(), 3u);
    ASSERT_EQ(inner.size(), 3u);
    EXPECT_EQ(inner[0].X1, line + 6);
    EXPECT_EQ(inner[1].Y0, ticks[1]);

    // Minor ticks: three per interval, also above the top label, none beyond the axis ends.
    std::vector<std::int32_t> expected;
    const std::int32_t n = 3;
    for (int j = 1; j <= n; ++j) {
        const auto d = static_cast<std::int32_t>(RoundHalfEven((ticks[1] - ticks[0]) / 4.0 * j));
        for (const std::int32_t p : {ticks[0] - d, ticks[2] + d}) {
            if (p > axis.StartPixel && p < axis.EndPixel)
                expected.push_back(p);
        }
    }
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        for (int j = 1; j <= n; ++j) {
            expected.push_back(ticks[i] - static_cast<std::int32_t>(
                                              RoundHalfEven(j * (ticks[i] - ticks[i - 1]) / 4.0)));
        }
    }
    std::vector<std::int32_t> drawn;
    for (const auto& s : minor)
        drawn.push_back(s.Y0);
    EXPECT_EQ(drawn, expected);
    // Above the top label there is room (0.3 is not labelled), below 0 there is none.
    EXPECT_EQ(drawn.size(), 3u + 6u);
}

TEST_F(AxisPaintTest, VeryShortLeftAxisWidensTheTenthsStep)
{
    chart.LeftAxis()->SetMaximum(0.3);
    // Room for two labels of 12 + 1 pixels: 0.1 would give three, 0.2 gives 0.2 and 0.
    chart.SetSize(953, 80);
    Paint();
    Paint();
    ASSERT_EQ(chart.LeftAxis()->AxisPixels, 29);
    EXPECT_EQ(Labels(THorizTextAlign::taRight), (std::vector<std::string>{"0.2", "0"}));
    EXPECT_EQ(Ticks(2).size(), 2u);
}

TEST_F(AxisPaintTest, SymmetricRangeDropsTheMinimumLabel)
{
    chart.LeftAxis()->SetMinimum(-10);
    chart.LeftAxis()->SetMaximum(10);
    chart.LeftAxis()->SetIncrement(5);
    Paint();
    EXPECT_EQ(Labels(THorizTextAlign::taRight), (std::vector<std::string>{"10", "5", "0", "-5"}));
}

TEST_F(AxisPaintTest, ZeroRangeGivesOneLabelInTheMiddle)
{
    Paint();
    const auto calls = LabelCalls(THorizTextAlign::taRight);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Text, "0");
    EXPECT_EQ(calls[0].Y, chart.LeftAxis()->CenterPixel - 6);
}

TEST_F(AxisPaintTest, NoLabelsMeansNoTicksAndNoGrid)
{
    chart.BottomAxis()->SetLabels(false);
    Paint();
    EXPECT_TRUE(Labels(THorizTextAlign::taCenter).empty());
    EXPECT_EQ(chart.TickPositions(0).Count, 0);
    for (const auto& s : AxisSegments(clGray, TPenStyle::psDot, 1))
        EXPECT_NE(s.X0, s.X1);
}

TEST_F(AxisPaintTest, TicksWithoutLabelsWhenNotOnLabelsOnly)
{
    chart.BottomAxis()->SetLabels(false);
    chart.BottomAxis()->SetTickOnLabelsOnly(false);
    Paint();
    EXPECT_TRUE(Labels(THorizTextAlign::taCenter).empty());
    EXPECT_EQ(chart.TickPositions(0).Count, 40);
}

TEST_F(AxisPaintTest, LabelsOnAxisFalseKeepsOnlyInnerPositions)
{
    chart.BottomAxis()->SetLabelsOnAxis(false);
    chart.BottomAxis()->SetMaximum(200);
    Paint();
    const auto labels = Labels(THorizTextAlign::taCenter);
    // 200 and 0 fall on the axis ends.
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels.front(), "195");
    EXPECT_EQ(labels.back(), "5");
}

TEST_F(AxisPaintTest, CentredGridBetweenLabels)
{
    chart.BottomAxis()->SetMaximum(10);
    chart.BottomAxis()->SetGridCentered(true);
    chart.BottomAxis()->SetIncrement(5);
    Paint();
    const auto ticks = Ticks(0);
    ASSERT_EQ(ticks.size(), 3u);
    std::vector<std::int32_t> grid;
    for (const auto& s : AxisSegments(clGray, TPenStyle::psDot, 1)) {
        if (s.X0 == s.X1)
            grid.push_back(s.X0);
    }
    ASSERT_EQ(grid.size(), 2u);
    EXPECT_EQ(grid[0], static_cast<std::int32_t>(RoundHalfEven((ticks[1] + ticks[0]) * 0.5)));
    EXPECT_EQ(grid[1], static_cast<std::int32_t>(RoundHalfEven((ticks[2] + ticks[1]) * 0.5)));
}

TEST_F(AxisPaintTest, TooManyLabelsDrawTheLineAlone)
{
    TCustomChartAxis& axis = *chart.BottomAxis();
    axis.SetLabelsSeparation(0);
    axis.SetIncrement(1);
    axis.SetMaximum(20000);
    Paint();
    EXPECT_TRUE(Labels(THorizTextAlign::taCenter).empty());
    EXPECT_EQ(chart.TickPositions(0).Count, 0);
}

TEST_F(AxisPaintTest, AtMost2000PositionsAreRecorded)
{
    TCustomChartAxis& axis = *chart.BottomAxis();
    axis.SetLabelsSeparation(0);
    axis.SetIncrement(1);
    axis.SetMaximum(5000);
    surface.RecordStateChanges = false;
    Paint();
    EXPECT_EQ(Labels(THorizTextAlign::taCenter).size(), 5001u);
    EXPECT_EQ(chart.TickPositions(0).Count, 2000);
    std::size_t ticks = 0;
    for (const auto& s : AxisSegments(clGray, TPenStyle::psSolid, 1)) {
        if (s.X0 == s.X1 && s.Y0 == axis.AxisLinePos + 1)
            ++ticks;
    }
    EXPECT_EQ(ticks, 2000u);
}

TEST_F(AxisPaintTest, ReversedOrInvisiblePartsDrawLess)
{
    chart.BottomAxis()->Ticks().SetVisible(false);
    chart.BottomAxis()->Grid().SetVisible(false);
    chart.BottomAxis()->Axis().SetVisible(false);
    Paint();
    EXPECT_EQ(Labels(THorizTextAlign::taCenter).size(), 40u);
    // Labels alone: nothing below the axis line; only the zero-length inward ticks above it.
    const std::int32_t line = chart.BottomAxis()->AxisLinePos;
    for (const auto& s : surface.Segments()) {
        if (s.Layer != 1 || s.Clipped || s.X0 != s.X1 || s.X0 < chart.BottomAxis()->StartPixel ||
            s.X0 > chart.BottomAxis()->EndPixel) {
            continue;
        }
        if (s.Y0 > line) {
            ADD_FAILURE() << "outward tick at " << s.X0;
        }
        if (s.Y0 == line - 1) {
            EXPECT_EQ(s.Y1, line - 1);
        }
    }
}

TEST_F(AxisPaintTest, MultiLineLabelsOnTheLeftAxis)
{
    TCustomChartAxis& axis = *chart.LeftAxis();
    axis.SetMaximum(10);
    axis.SetIncrement(5);
    axis.SetAxisValuesFormat("0 \"u\"");
    axis.SetLabelsMultiLine(true);
    Paint();
    const auto calls = LabelCalls(THorizTextAlign::taRight);
    const auto ticks = Ticks(2);
    ASSERT_FALSE(ticks.empty());
    ASSERT_GE(calls.size(), 2u);
    // Two lines of 12: the first at p - 6 - round(12 * 0.5 * 3) + 12 = p - 12.
    EXPECT_EQ(calls[0].Text, "10");
    EXPECT_EQ(calls[0].Y, ticks[0] - 12);
    EXPECT_EQ(calls[1].Text, "u");
    EXPECT_EQ(calls[1].Y, ticks[0]);
}

TEST_F(AxisPaintTest, TopAndRightAxesPlaceLabelsOutside)
{
    series->SetHorizAxis(THorizAxis::aTopAxis);
    series->SetVertAxis(TVertAxis::aRightAxis);
    chart.TopAxis()->SetAutomatic(false);
    chart.TopAxis()->SetMaximum(10);
    chart.TopAxis()->SetIncrement(5);
    chart.RightAxis()->SetAutomatic(false);
    chart.RightAxis()->SetMaximum(10);
    chart.RightAxis()->SetIncrement(5);
    Paint();
    const auto top = LabelCalls(THorizTextAlign::taCenter);
    ASSERT_FALSE(top.empty());
    EXPECT_EQ(top[0].VAlign, TVertTextAlign::taBottom);
    EXPECT_EQ(top[0].Y, chart.TopAxis()->LabelAnchor);
    EXPECT_EQ(chart.TopAxis()->AxisLinePos, chart.ChartRect().Top);
    const auto right = LabelCalls(THorizTextAlign::taLeft);
    ASSERT_FALSE(right.empty());
    EXPECT_EQ(right[0].X, chart.RightAxis()->LabelAnchor);
    EXPECT_EQ(chart.RightAxis()->AxisLinePos, chart.ChartRect().Right);
    // Right axis ticks point right (length 3 from the line + 1).
    bool found = false;
    for (const auto& s : AxisSegments(clGray, TPenStyle::psSolid, 1)) {
        if (s.Y0 == s.Y1 && s.X0 == chart.RightAxis()->AxisLinePos + 1 &&
            s.X1 == chart.RightAxis()->AxisLinePos + 4) {
            found = true;
        }
    }
    EXPECT_TRUE(found);
    // The bottom and left axes have no series now: no labels there.
    EXPECT_TRUE(Labels(THorizTextAlign::taRight).empty());
}

} // namespace
} // namespace rv
