#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "rangeview/chart/Chart.h"
#include "rangeview/chart/Series.h"

namespace rv {
namespace {

struct SeriesFixture : ::testing::Test {
    TCustomAxisPanel chart;
    TFastLineSeries series;
    SeriesFixture()
    {
        series.SetSeriesColor(clRed);
        chart.AddSeries(&series);
    }
    void ExpectAligned()
    {
        EXPECT_EQ(series.XValues().ValueCount(), series.PointCount());
        EXPECT_EQ(series.YValues().ValueCount(), series.PointCount());
    }
};

TEST_F(SeriesFixture, AddPointStoresAlignedAndRunsAfterAddBeforeRepaint)
{
    std::vector<std::int32_t> seen;
    std::int64_t repaintsSeenInHandler = -1;
    series.OnAfterAdd = [&](TChartSeries* sender, std::int32_t index) {
        EXPECT_EQ(sender, &series);
        seen.push_back(index);
        // The point is in both lists and the maximum already reflects it.
        EXPECT_EQ(sender->XValues().HighestValue(), sender->XValues().ValueAt(index));
        EXPECT_EQ(sender->YValues().LastValue(), 10.5);
        repaintsSeenInHandler = chart.RepaintRequestCount();
    };
    const auto before = chart.RepaintRequestCount();
    EXPECT_EQ(series.AddPoint(0, 10.5, "", UseSeriesColor), 0);
    EXPECT_EQ(repaintsSeenInHandler, before); // the request comes after the event
    EXPECT_EQ(chart.RepaintRequestCount(), before + 1);
    EXPECT_EQ(series.AddPoint(1, 10.5, "", UseSeriesColor), 1);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{0, 1}));
    ExpectAligned();
}

TEST_F(SeriesFixture, SmallerXInsertsAtItsPlaceInEveryList)
{
    series.AddPoint(5, 50, "five", clBlue);
    series.AddPoint(7, 70, "", UseSeriesColor);
    std::int32_t reported = -1;
    series.OnAfterAdd = [&](TChartSeries*, std::int32_t i) { reported = i; };
    EXPECT_EQ(series.AddPoint(1, 10, "one", clGreen), 0);
    EXPECT_EQ(reported, 0);
    EXPECT_EQ(series.AddPoint(7, 71, "", UseSeriesColor), 3); // equal X goes after
    EXPECT_EQ(series.PointY(0), 10);
    EXPECT_EQ(series.PointLabel(0), "one");
    EXPECT_EQ(series.PointColor(0), clGreen);
    EXPECT_EQ(series.PointLabel(1), "five");
    EXPECT_EQ(series.PointColor(1), clBlue);
    EXPECT_EQ(series.PointColor(2), clRed);
    EXPECT_EQ(series.PointY(3), 71);
    ExpectAligned();
}

TEST_F(SeriesFixture, BeforeAddVetoChangesNothingButTheStagingSlots)
{
    bool afterRan = false;
    series.AddPoint(0, 1, "", UseSeriesColor);
    series.OnBeforeAdd = [](TChartSeries*) { return false; };
    series.OnAfterAdd = [&](TChartSeries*, std::int32_t) { afterRan = true; };
    const auto before = chart.RepaintRequestCount();
    EXPECT_EQ(series.AddPoint(3, 4, "x", clBlue), -1);
    EXPECT_FALSE(afterRan);
    EXPECT_EQ(series.PointCount(), 1);
    EXPECT_EQ(series.PointLabel(1), "");
    EXPECT_EQ(chart.RepaintRequestCount(), before);
    EXPECT_EQ(series.XValues().StagedValue, 3);
    EXPECT_EQ(series.YValues().StagedValue, 4);
    series.OnBeforeAdd = [](TChartSeries*) { return true; };
    EXPECT_EQ(series.AddPoint(3, 4, "", UseSeriesColor), 1);
}

TEST_F(SeriesFixture, BeforeAddExceptionLeavesSeriesUnchanged)
{
    series.OnBeforeAdd = [](TChartSeries*) -> bool { throw std::runtime_error("no"); };
    EXPECT_THROW(series.AddPoint(1, 2, "", UseSeriesColor), std::runtime_error);
    EXPECT_EQ(series.PointCount(), 0);
    ExpectAligned();
}

TEST_F(SeriesFixture, AfterAddExceptionPropagatesWithPointStoredAndNoRepaint)
{
    series.OnAfterAdd = [](TChartSeries*, std::int32_t) { throw std::runtime_error("handler"); };
    const auto before = chart.RepaintRequestCount();
    EXPECT_THROW(series.AddPoint(2, 20, "label", clBlue), std::runtime_error);
    EXPECT_EQ(series.PointCount(), 1);
    EXPECT_EQ(series.PointLabel(0), "label");
    EXPECT_EQ(series.PointColor(0), clBlue);
    EXPECT_EQ(chart.RepaintRequestCount(), before);
    ExpectAligned();
    series.OnAfterAdd = nullptr;
    series.AddPoint(3, 30, "", UseSeriesColor);
    EXPECT_EQ(chart.RepaintRequestCount(), before + 1);
}

TEST_F(SeriesFixture, PointColorRules)
{
    series.AddPoint(0, 0, "", UseSeriesColor);
    series.AddPoint(1, 0, "", 0x123456);
    EXPECT_EQ(series.PointColor(0), clRed);
    EXPECT_EQ(series.PointColor(1), 0x123456u);
    EXPECT_EQ(series.PointColor(2), clRed); // past the end
    EXPECT_EQ(series.PointColor(-1), clRed);
    series.SetColorEachPoint(true);
    EXPECT_EQ(series.PointColor(0), TChartSeries::PaletteColor(0));
    EXPECT_EQ(series.PointColor(1), 0x123456u);
}

TEST_F(SeriesFixture, LabelsAreCopiesAndEmptyOnesAreAbsent)
{
    std::string text = "abc";
    series.AddPoint(0, 0, "", UseSeriesColor);
    EXPECT_FALSE(series.HasPointLabels());
    series.AddPoint(1, 0, text, UseSeriesColor);
    text = "changed";
    EXPECT_EQ(series.PointLabel(1), "abc");
    EXPECT_EQ(series.PointLabel(0), "");
    EXPECT_EQ(series.PointLabel(5), "");
    EXPECT_FALSE(series.HasPointLabels()); // first entry absent
    series.AddPoint(-1, 0, "first", UseSeriesColor);
    EXPECT_TRUE(series.HasPointLabels());
}

TEST_F(SeriesFixture, ClearPointsRunsEventAndRepaintsEvenWhenEmpty)
{
    int cleared = 0;
    series.OnClearValues = [&](TChartSeries* s) {
        EXPECT_EQ(s->PointCount(), 0);
        ++cleared;
    };
    auto before = chart.RepaintRequestCount();
    series.ClearPoints();
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(chart.RepaintRequestCount(), before + 1);

    chart.BottomAxis()->SetRange(0, 199);
    series.AddPoint(0, 1, "a", clBlue);
    series.AddPoint(1, 2, "", UseSeriesColor);
    series.ClearPoints();
    EXPECT_EQ(series.PointCount(), 0);
    ExpectAligned();
    EXPECT_EQ(series.PointLabel(0), "");
    EXPECT_EQ(series.XValues().HighestValue(), 0);
    EXPECT_EQ(chart.BottomAxis()->Maximum(), 199); // axes untouched
    EXPECT_FALSE(chart.BottomAxis()->Automatic());
    series.FindVisibleRange();
    EXPECT_EQ(series.VisibleFirst, -1);
    EXPECT_EQ(series.VisibleLast, -1);
    // Points added after a clear start aligned again.
    series.AddPoint(0, 5, "", UseSeriesColor);
    EXPECT_EQ(series.PointColor(0), clRed);
    EXPECT_EQ(series.PointLabel(0), "");
}

TEST_F(SeriesFixture, InactiveSeriesRequestsNoRepaintOnAdd)
{
    series.SetActive(false);
    const auto before = chart.RepaintRequestCount();
    series.AddPoint(0, 0, "", UseSeriesColor);
    series.ClearPoints();
    EXPECT_EQ(chart.RepaintRequestCount(), before);
}

TEST_F(SeriesFixture, DeletePointRemovesFromEveryList)
{
    series.AddPoint(0, 0, "a", clBlue);
    series.AddPoint(1, 1, "b", clGreen);
    series.AddPoint(2, 2, "", UseSeriesColor);
    series.DeletePoint(1);
    EXPECT_EQ(series.PointCount(), 2);
    EXPECT_EQ(series.PointX(1), 2);
    EXPECT_EQ(series.PointColor(1), clRed);
    EXPECT_EQ(series.PointLabel(0), "a");
    EXPECT_THROW(series.DeletePoint(2), EListError);
    ExpectAligned();
}

TEST_F(SeriesFixture, ResolvesAxesAndAssociation)
{
    EXPECT_EQ(series.ResolvedHorizAxis(), chart.BottomAxis());
    EXPECT_EQ(series.ResolvedVertAxis(), chart.LeftAxis());
    EXPECT_TRUE(series.IsAssociatedTo(chart.BottomAxis()));
    EXPECT_TRUE(series.IsAssociatedTo(chart.LeftAxis()));
    EXPECT_FALSE(series.IsAssociatedTo(chart.TopAxis()));
    EXPECT_FALSE(series.IsAssociatedTo(chart.RightAxis()));

    const auto before = chart.RepaintRequestCount();
    series.SetHorizAxis(THorizAxis::aTopAxis);
    EXPECT_EQ(series.ResolvedHorizAxis(), chart.TopAxis());
    EXPECT_EQ(chart.RepaintRequestCount(), before + 1);
    series.SetHorizAxis(THorizAxis::aTopAxis);
    EXPECT_EQ(chart.RepaintRequestCount(), before + 1); // equal write: nothing
    series.SetHorizAxis(THorizAxis::aBothHorizAxis);
    EXPECT_EQ(series.ResolvedHorizAxis(), chart.BottomAxis());
    EXPECT_TRUE(series.IsAssociatedTo(chart.TopAxis()));
    series.SetHorizAxis(THorizAxis::aCustomHorizAxis); // none set: bottom
    EXPECT_EQ(series.ResolvedHorizAxis(), chart.BottomAxis());
    series.SetVertAxis(TVertAxis::aRightAxis);
    EXPECT_EQ(series.ResolvedVertAxis(), chart.RightAxis());
}

TEST(SeriesChart, AttachingMovesBetweenChartsAndGivesAFreeColour)
{
    TCustomAxisPanel a, b;
    TFastLineSeries s1, s2;
    s1.SetParentChart(&a);
    EXPECT_EQ(s1.SeriesColor(), TChartSeries::PaletteColor(0));
    EXPECT_EQ(s1.LinePen().Color(), s1.SeriesColor());
    s2.SetSeriesColor(clBlack);
    a.AddSeries(&s2);
    EXPECT_EQ(s2.SeriesColor(), clBlack); // keeps its own colour
    ASSERT_EQ(a.SeriesCount(), 2);
    s1.SetParentChart(&b);
    EXPECT_EQ(a.SeriesCount(), 1);
    EXPECT_EQ(b.Series(0), &s1);
    EXPECT_EQ(s1.ResolvedHorizAxis(), b.BottomAxis());
    s1.SetParentChart(nullptr);
    EXPECT_EQ(s1.ResolvedHorizAxis(), nullptr);
    EXPECT_EQ(b.SeriesCount(), 0);
    EXPECT_THROW((void)b.Series(0), EListError);
    s1.AddPoint(1, 2, "", UseSeriesColor); // no chart: nothing to repaint, still stored
    EXPECT_EQ(s1.PointCount(), 1);
}

TEST(SeriesChart, ChartAndSeriesMayDieInEitherOrder)
{
    auto chart = std::make_unique<TCustomAxisPanel>();
    TFastLineSeries outlives;
    chart->AddSeries(&outlives);
    {
        TFastLineSeries shortLived;
        chart->AddSeries(&shortLived);
    }
    EXPECT_EQ(chart->SeriesCount(), 1);
    auto* owned = chart->AdoptSeries(std::make_unique<TFastLineSeries>());
    EXPECT_EQ(owned->ParentChart(), chart.get());
    chart.reset();
    EXPECT_EQ(outlives.ParentChart(), nullptr);
    outlives.ClearPoints();
}

TEST(FastLine, DefaultsAndPenColourFollowTheSeries)
{
    TFastLineSeries s;
    EXPECT_TRUE(s.ExtendToEdge);
    EXPECT_TRUE(s.ClipToVisible);
    EXPECT_TRUE(s.AutoRepaint());
    EXPECT_FALSE(s.AllowSinglePoint);
    EXPECT_EQ(s.XValues().Order(), TChartListOrder::loAscending);
    EXPECT_EQ(s.YValues().Order(), TChartListOrder::loNone);
    EXPECT_EQ(s.XValues().Name(), "X");
    EXPECT_EQ(s.ValueLists().size(), 2u);
    EXPECT_EQ(s.SeriesColor(), UseSeriesColor);
    EXPECT_EQ(s.VisibleFirst, -1);
    s.SetSeriesColor(clRed);
    EXPECT_EQ(s.LinePen().Color(), clRed);
    TChartPen pen(clBlue, 3);
    s.SetLinePen(pen);
    EXPECT_EQ(s.SeriesColor(), clBlue);
    EXPECT_EQ(s.LinePen().Width(), 3);
}

struct DrawingChart : TCustomAxisPanel {
    std::vector<std::int32_t> drawn;
    void DrawNewValueNow(TChartSeries&, std::int32_t index) override { drawn.push_back(index); }
};

TEST(FastLine, WithoutAutoRepaintDrawsAtOnceAndSkipsEventAndRequest)
{
    DrawingChart chart;
    TFastLineSeries s;
    chart.AddSeries(&s);
    s.SetAutoRepaint(false);
    bool after = false;
    s.OnAfterAdd = [&](TChartSeries*, std::int32_t) { after = true; };
    const auto before = chart.RepaintRequestCount();
    s.AddPoint(0, 1, "", UseSeriesColor);
    s.AddPoint(1, 1, "", UseSeriesColor);
    EXPECT_FALSE(after);
    EXPECT_EQ(chart.RepaintRequestCount(), before);
    EXPECT_EQ(chart.drawn, (std::vector<std::int32_t>{0, 1}));
}

TEST(SeriesMultiplier, WriteRepaintsTheChart)
{
    TCustomAxisPanel chart;
    TFastLineSeries s;
    chart.AddSeries(&s);
    const auto before = chart.RepaintRequestCount();
    s.YValues().SetMultiplier(2);
    s.YValues().SetMultiplier(2);
    EXPECT_EQ(chart.RepaintRequestCount(), before + 1);
}

} // namespace
} // namespace rv
