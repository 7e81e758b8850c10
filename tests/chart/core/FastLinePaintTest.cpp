// How a fast line turns its points into pen moves and lines.
#include <gtest/gtest.h>

#include <vector>

#include "ChartPaint.h"
#include "rangeview/chart/ChartSetup.h"
#include "rangeview/chart/RecordingSurface.h"

namespace rv {
namespace {

struct Step {
    TSurfaceOp Op;
    std::int32_t X, Y;
    friend bool operator==(const Step&, const Step&) = default;
};

std::ostream& operator<<(std::ostream& os, const Step& s)
{
    return os << (s.Op == TSurfaceOp::MoveTo ? "MoveTo(" : "LineTo(") << s.X << ", " << s.Y << ")";
}

class FastLinePaintTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        series = ConfigureChart1(chart);
        chart.Canvas().SetOwnSurface(&surface);
        chart.LeftAxis()->SetMaximum(100);
    }
    void Paint()
    {
        surface.ClearRecords();
        chart.Canvas().ImageDirty = true;
        chart.PaintHandler();
    }
    void Add(double x, double y) { series->AddPoint(x, y, "", UseSeriesColor); }
    // Pen moves and lines made with the series' pen, in order.
    std::vector<Step> LineSteps() const
    {
        std::vector<Step> out;
        for (const auto& r : surface.Records()) {
            if ((r.Op == TSurfaceOp::MoveTo || r.Op == TSurfaceOp::LineTo) &&
                r.Pen.Color == clRed && r.Pen.Width == 3) {
                out.push_back(Step{r.Op, r.X, r.Y});
            }
        }
        return out;
    }
    Step Move(double x, double y) const { return Step{TSurfaceOp::MoveTo, Px(x), Py(y)}; }
    Step Line(double x, double y) const { return Step{TSurfaceOp::LineTo, Px(x), Py(y)}; }
    std::int32_t Px(double x) const { return chart.BottomAxis()->ValueToPixel(x); }
    std::int32_t Py(double y) const { return chart.LeftAxis()->ValueToPixel(y); }

    TChart chart;
    TFastLineSeries* series = nullptr;
    TRecordingSurface surface;
};

TEST_F(FastLinePaintTest, OneMoveThenOneLinePerPoint)
{
    Add(0, 10);
    Add(1, 20);
    Add(2, 15);
    Paint();
    EXPECT_EQ(LineSteps(), (std::vector<Step>{Move(0, 10), Line(1, 20), Line(2, 15)}));
    EXPECT_EQ(series->LastX, Px(2));
    EXPECT_EQ(series->LastY, Py(15));
    // Solid pen of width 3, no brush.
    const auto lines = surface.Calls(TSurfaceOp::LineTo);
    EXPECT_EQ(lines.back().Pen.Style, TPenStyle::psSolid);
    EXPECT_EQ(lines.back().Brush.Style, TBrushStyle::bsClear);
}

TEST_F(FastLinePaintTest, PointsOnTheSamePixelAreMerged)
{
    // 0 and 0.1 map to the same column at 873 pixels for 199 values.
    Add(0, 10);
    Add(0.1, 10);
    Add(1, 30);
    Paint();
    ASSERT_EQ(Px(0), Px(0.1));
    EXPECT_EQ(LineSteps(), (std::vector<Step>{Move(0, 10), Line(1, 30)}));
}

TEST_F(FastLinePaintTest, SameColumnDifferentRowsAreAllDrawn)
{
    Add(0, 10);
    Add(0.1, 50);
    Add(0.2, 10);
    Paint();
    EXPECT_EQ(LineSteps(), (std::vector<Step>{Move(0, 10), Line(0.1, 50), Line(0.2, 10)}));
}

TEST_F(FastLinePaintTest, EntersFromThePointBeforeTheVisibleRange)
{
    for (int i = 0; i < 300; ++i)
        Add(i, i % 100);
    chart.BottomAxis()->SetMinimum(100);
    chart.BottomAxis()->SetMaximum(299);
    Paint();
    ASSERT_EQ(series->VisibleFirst, 100);
    const auto steps = LineSteps();
    ASSERT_EQ(steps.size(), 201u);
    EXPECT_EQ(steps[0], Move(99, 99));
    EXPECT_EQ(steps[1], Line(100, 0));
    EXPECT_EQ(steps.back(), Line(299, 99));
    // The entering point lies left of the plot and is clipped.
    EXPECT_LT(steps[0].X, chart.ChartRect().Left + 1);
    for (const auto& s : surface.Segments()) {
        if (s.Pen.Color == clRed) {
            EXPECT_TRUE(s.Clipped);
        }
    }
}

TEST_F(FastLinePaintTest, PointJustRightOfTheRangeIsDrawn)
{
    for (int i = 0; i < 300; ++i)
        Add(i, 50);
    for (int i = 0; i < 10; ++i)
        series->YValues().SetValueAt(i, 10.0 * i);
    chart.BottomAxis()->SetMaximum(198.5);
    Paint();
    EXPECT_EQ(series->VisibleFirst, 0);
    EXPECT_EQ(series->VisibleLast, 199);
    const auto steps = LineSteps();
    // Points 10 .. 199 sit on one row, each on a new column: every one is drawn, the last one
    // beyond the right edge.
    EXPECT_EQ(steps.size(), 200u);
    EXPECT_EQ(steps.back(), Line(199, 50));
    EXPECT_GT(steps.back().X, chart.ChartRect().Right);
}

TEST_F(FastLinePaintTest, FarAboveTheRangeIsDrawnTowardTheTop)
{
    Add(0, 10);
    Add(1, 1e6);
    Add(2, 10);
    Paint();
    const auto steps = LineSteps();
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_LT(steps[1].Y, chart.ChartRect().Top);
}

TEST_F(FastLinePaintTest, ValueTooFarForAPixelGoesToTheCentre)
{
    Add(0, 10);
    Add(1, 1e300);
    Paint();
    const auto steps = LineSteps();
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[1].Y, chart.LeftAxis()->CenterPixel);
}

TEST_F(FastLinePaintTest, AllPointsLeftOfTheRangeDrawNothing)
{
    Add(0, 10);
    Add(1, 10);
    chart.BottomAxis()->SetMaximum(400);
    chart.BottomAxis()->SetMinimum(200);
    Paint();
    EXPECT_EQ(series->VisibleFirst, -1);
    EXPECT_TRUE(LineSteps().empty());
    EXPECT_TRUE(surface.Calls(TSurfaceOp::SetClip).empty());
}

TEST_F(FastLinePaintTest, SinglePointOnlyMovesThePen)
{
    Add(5, 10);
    Paint();
    EXPECT_EQ(LineSteps(), (std::vector<Step>{Move(5, 10)}));
}

TEST_F(FastLinePaintTest, InvisiblePenDrawsWithAClearPen)
{
    Add(0, 10);
    Add(1, 20);
    series->LinePen().SetVisible(false);
    Paint();
    bool sawLine = false;
    for (const auto& r : surface.Calls(TSurfaceOp::LineTo)) {
        if (r.Clipped) {
            sawLine = true;
            EXPECT_EQ(r.Pen.Style, TPenStyle::psClear);
        }
    }
    EXPECT_TRUE(sawLine);
}

TEST_F(FastLinePaintTest, UnclippedWhenClipPointsIsOff)
{
    Add(0, 10);
    Add(1, 20);
    chart.SetClipPoints(false);
    Paint();
    EXPECT_TRUE(surface.Calls(TSurfaceOp::SetClip).empty());
    EXPECT_EQ(LineSteps().size(), 2u);
}

} // namespace
} // namespace rv
