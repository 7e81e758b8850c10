#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "Canvas3D.h"
#include "rangeview/chart/ChartSetup.h"
#include "rangeview/chart/RecordingSurface.h"
#include "rangeview/chart/ZoomPan.h"

namespace rv {
namespace {

struct Range {
    double Min;
    double Max;
    friend bool operator==(const Range&, const Range&) = default;
};

Range RangeOf(const TCustomChartAxis& a)
{
    return Range{a.Minimum(), a.Maximum()};
}

std::ostream& operator<<(std::ostream& os, const Range& r)
{
    return os << r.Min << ".." << r.Max;
}

// Stands in for the control window: records the bands and the cursor.
struct FakeWindow : IZoomPanWindow {
    void DrawZoomRectangleOnWindow(const TRect& r) override { Bands.push_back(r); }
    void SetCursor(TCursor c) override
    {
        Cursor = c;
        ++CursorWrites;
    }
    std::vector<TRect> Bands;
    TCursor Cursor = 99;
    int CursorWrites = 0;
};

// Chart1 as configured, laid out once by a full draw on a recording surface (6 x 12 pixel
// characters), with 200 points on a 0..199 by 0..100 window.
struct ZoomPanFixture : ::testing::Test {
    void SetUp() override
    {
        series = ConfigureChart1(chart);
        chart.Canvas().SetOwnSurface(&surface);
        for (int i = 0; i < 200; ++i)
            series->AddPoint(i, 20 + (i % 2), "", clDefault);
        left.SetMaximum(100);
        left.SetMinimum(0);
        // A synchronous repaint is a real full draw, so the mapping follows each animation step.
        chart.OnRepaintNow = [this] { chart.PaintHandler(); };
        Paint();
        // The drags below start at (100, 100) inside the plot, away from the line.
        ASSERT_TRUE(chart.ChartRect().Contains(100, 100));
        ASSERT_EQ(series->Clicked(100, 100), -1);
        zp = std::make_unique<TZoomPanInteraction>(chart, &window);
    }
    void Paint()
    {
        chart.Invalidate();
        chart.PaintHandler();
    }
    void Drag(TMouseButton b, int x0, int y0, int x1, int y1)
    {
        zp->MouseDown(b, 0, x0, y0);
        zp->MouseMove(0, x1, y1);
        zp->MouseUp(b, 0, x1, y1);
    }

    TRecordingSurface surface{6, 12};
    TChart chart;
    TFastLineSeries* series = nullptr;
    TChartAxis& bottom = *chart.BottomAxis();
    TChartAxis& left = *chart.LeftAxis();
    FakeWindow window;
    std::unique_ptr<TZoomPanInteraction> zp;
};

TEST(ZoomPanningRecord, ActivateAndNormalise)
{
    TZoomPanningRecord r;
    EXPECT_FALSE(r.Active);
    r.Activate(10, 20);
    EXPECT_TRUE(r.Active);
    EXPECT_EQ(r.Rect(), (TRect{10, 20, 10, 20}));
    r.X1 = 4;
    r.Y1 = 30;
    r.Check();
    EXPECT_EQ(r.Rect(), (TRect{4, 20, 10, 30}));
    r.Y1 = 5;
    r.Check();
    EXPECT_EQ(r.Rect(), (TRect{4, 5, 10, 20}));
}

// --- zoom and undo thresholds --------------------------------------------------------------

TEST_F(ZoomPanFixture, DragTowardLowerRightBeyondSixteenPixelsZooms)
{
    chart.AnimatedZoom = false;
    const Range bx{bottom.PixelToValue(100), bottom.PixelToValue(117)};
    const Range ly{left.PixelToValue(117), left.PixelToValue(100)};
    int zooms = 0;
    zp->OnZoom = [&](TCustomChart* c) {
        EXPECT_EQ(c, &chart);
        ++zooms;
    };
    const auto requests = chart.RepaintRequestCount();
    Drag(TMouseButton::mbLeft, 100, 100, 117, 117);
    EXPECT_EQ(zooms, 1);
    EXPECT_EQ(RangeOf(bottom), bx);
    EXPECT_EQ(RangeOf(left), ly);
    EXPECT_LT(ly.Min, ly.Max);
    EXPECT_FALSE(zp->Zoom.Active);
    EXPECT_FALSE(zp->RestoredAxisScales());
    EXPECT_GT(chart.RepaintRequestCount(), requests);
}

TEST_F(ZoomPanFixture, SixteenPixelsInEitherDirectionIsTooSmall)
{
    const Range b0 = RangeOf(bottom), l0 = RangeOf(left);
    int events = 0;
    zp->OnZoom = [&](TCustomChart*) { ++events; };
    zp->OnUndoZoom = [&](TCustomChart*) { ++events; };
    Drag(TMouseButton::mbLeft, 100, 100, 116, 200);
    Drag(TMouseButton::mbLeft, 100, 100, 200, 116);
    Drag(TMouseButton::mbLeft, 100, 100, 84, 84);
    EXPECT_EQ(events, 0);
    EXPECT_EQ(RangeOf(bottom), b0);
    EXPECT_EQ(RangeOf(left), l0);
    EXPECT_TRUE(zp->RestoredAxisScales());
    // Feedback still erased: every band drawn twice.
    EXPECT_EQ(window.Bands.size() % 2, 0u);
}

TEST_F(ZoomPanFixture, AnimatedZoomShowsSevenStepsEachOneThirdCloser)
{
    ASSERT_TRUE(chart.AnimatedZoom);
    ASSERT_EQ(chart.AnimatedZoomSteps, 8);
    const Range target{bottom.PixelToValue(100), bottom.PixelToValue(160)};
    const Range ltarget{left.PixelToValue(160), left.PixelToValue(100)};
    std::vector<Range> seen;
    std::vector<Range> seenLeft;
    chart.OnRepaintNow = [&] {
        seen.push_back(RangeOf(bottom));
        seenLeft.push_back(RangeOf(left));
        chart.PaintHandler();
    };
    std::vector<Range> atZoom;
    zp->OnZoom = [&](TCustomChart*) { atZoom.push_back(RangeOf(bottom)); };
    Drag(TMouseButton::mbLeft, 100, 100, 160, 160);
    ASSERT_EQ(seen.size(), 7u);
    Range expect{0, 199};
    Range lexpect{0, 100};
    for (std::size_t k = 0; k < seen.size(); ++k) {
        expect = Range{expect.Min + (target.Min - expect.Min) / 3,
                       expect.Max - (expect.Max - target.Max) / 3};
        lexpect = Range{lexpect.Min + (ltarget.Min - lexpect.Min) / 3,
                        lexpect.Max - (lexpect.Max - ltarget.Max) / 3};
        EXPECT_DOUBLE_EQ(seen[k].Min, expect.Min) << k;
        EXPECT_DOUBLE_EQ(seen[k].Max, expect.Max) << k;
        EXPECT_DOUBLE_EQ(seenLeft[k].Min, lexpect.Min) << k;
        EXPECT_DOUBLE_EQ(seenLeft[k].Max, lexpect.Max) << k;
    }
    ASSERT_EQ(atZoom.size(), 1u);
    EXPECT_EQ(atZoom[0], target);
    EXPECT_EQ(RangeOf(left), ltarget);
}

TEST_F(ZoomPanFixture, AnimationStepsOneOrFewerJumpAtOnce)
{
    for (int steps : {1, 0, -5}) {
        chart.AnimatedZoomSteps = steps;
        const auto before = chart.RepaintNowCount();
        const Range target{bottom.PixelToValue(100), bottom.PixelToValue(160)};
        Drag(TMouseButton::mbLeft, 100, 100, 160, 160);
        EXPECT_EQ(chart.RepaintNowCount(), before) << steps;
        EXPECT_EQ(RangeOf(bottom), target);
        zp->UndoZoom();
        Paint();
    }
}

TEST_F(ZoomPanFixture, UndoAfterTwoZoomsRestoresRangesAndFlagsFromBeforeTheFirst)
{
    chart.AnimatedZoom = false;
    // Mixed flags so each restore path shows: top fully automatic, right half automatic.
    chart.RightAxis()->SetAutomaticMaximum(false);
    const Range b0 = RangeOf(bottom), l0 = RangeOf(left);
    Drag(TMouseButton::mbLeft, 100, 100, 300, 200);
    Paint();
    const Range b1 = RangeOf(bottom);
    Drag(TMouseButton::mbLeft, 150, 120, 400, 250);
    Paint();
    EXPECT_NE(RangeOf(bottom), b1);
    EXPECT_FALSE(chart.TopAxis()->Automatic());
    zp->UndoZoom();
    EXPECT_EQ(RangeOf(bottom), b0);
    EXPECT_EQ(RangeOf(left), l0);
    EXPECT_FALSE(bottom.Automatic() || bottom.AutomaticMinimum() || bottom.AutomaticMaximum());
    const TChartAxis& top = *chart.TopAxis();
    EXPECT_TRUE(top.Automatic() && top.AutomaticMinimum() && top.AutomaticMaximum());
    const TChartAxis& right = *chart.RightAxis();
    EXPECT_FALSE(right.Automatic());
    EXPECT_TRUE(right.AutomaticMinimum());
    EXPECT_FALSE(right.AutomaticMaximum());
    EXPECT_EQ(zp->SavedScales()[1].Maximum, 199);
}

TEST_F(ZoomPanFixture, UndoWithNothingSavedChangesNoRange)
{
    bottom.SetRange(5, 50);
    int undos = 0;
    zp->OnUndoZoom = [&](TCustomChart*) { ++undos; };
    const auto requests = chart.RepaintRequestCount();
    zp->UndoZoom();
    EXPECT_EQ(RangeOf(bottom), (Range{5, 50}));
    EXPECT_EQ(RangeOf(left), (Range{0, 100}));
    EXPECT_EQ(undos, 1);
    EXPECT_GT(chart.RepaintRequestCount(), requests);
    // The same through the mouse.
    Drag(TMouseButton::mbLeft, 100, 100, 60, 60);
    EXPECT_EQ(undos, 2);
    EXPECT_EQ(RangeOf(bottom), (Range{5, 50}));
}

// --- where a press starts something -------------------------------------------------------

TEST_F(ZoomPanFixture, LeftAxisLabelsStartADrag)
{
    const int x = left.LabelAnchor < left.AxisLinePos ? left.LabelAnchor + 1 : left.LabelAnchor - 2;
    const int y = (left.StartPixel + left.EndPixel) / 2;
    ASSERT_FALSE(chart.ChartRect().Contains(x, y));
    const TChartClickedPart part = zp->CalcClickedPart(x, y);
    EXPECT_EQ(part.Part, TChartClickedPartStyle::cpAxis);
    EXPECT_EQ(part.AAxis, &left);
    TCustomChartAxis* clicked = nullptr;
    zp->OnClickAxis = [&](TCustomChart*, TCustomChartAxis* a, TMouseButton, TShiftState, int, int) {
        clicked = a;
    };
    zp->MouseDown(TMouseButton::mbLeft, 0, x, y);
    EXPECT_EQ(clicked, &left);
    EXPECT_TRUE(zp->Zoom.Active);
    EXPECT_EQ(window.Cursor, crDefault);
    ASSERT_EQ(window.Bands.size(), 1u);
    EXPECT_EQ(window.Bands[0], (TRect{x, y, x, y}));
}

TEST_F(ZoomPanFixture, SeriesHitComesFirstAndRaisesItsClick)
{
    const int x = series->PointPixelX(50);
    const int y = series->PointPixelY(50);
    std::int32_t clicked = -1;
    series->OnClick = [&](TChartSeries*, std::int32_t i) { clicked = i; };
    const TChartClickedPart part = zp->CalcClickedPart(x, y);
    EXPECT_EQ(part.Part, TChartClickedPartStyle::cpSeries);
    EXPECT_EQ(part.ASeries, series);
    zp->MouseDown(TMouseButton::mbRight, 0, x, y);
    EXPECT_EQ(clicked, part.PointIndex);
    EXPECT_TRUE(zp->Panning.Active);
}

TEST_F(ZoomPanFixture, CancelMouseStopsThePress)
{
    zp->OnClickBackground = [&](TCustomChart*, TMouseButton, TShiftState, int, int) {
        zp->CancelMouse = true;
    };
    zp->MouseDown(TMouseButton::mbLeft, 0, 100, 100);
    EXPECT_FALSE(zp->Zoom.Active);
    EXPECT_FALSE(zp->CancelMouse);
    zp->OnClickBackground = nullptr;
    zp->CancelMouse = true;
    zp->MouseDown(TMouseButton::mbLeft, 0, 100, 100);
    EXPECT_FALSE(zp->Zoom.Active);
    EXPECT_FALSE(zp->CancelMouse);
    zp->MouseDown(TMouseButton::mbLeft, 0, 100, 100);
    EXPECT_TRUE(zp->Zoom.Active);
}

TEST_F(ZoomPanFixture, OptionsAndKeysGateTheStart)
{
    chart.AllowZoom = false;
    zp->MouseDown(TMouseButton::mbLeft, 0, 100, 100);
    EXPECT_FALSE(zp->Zoom.Active);
    chart.AllowPanning = TPanningMode::pmNone;
    zp->MouseDown(TMouseButton::mbRight, 0, 100, 100);
    EXPECT_FALSE(zp->Panning.Active);
    zp->MouseDown(TMouseButton::mbMiddle, 0, 100, 100);
    chart.AllowZoom = true;
    zp->Settings.ZoomKeys = ssCtrl;
    zp->MouseDown(TMouseButton::mbLeft, ssShift, 100, 100);
    EXPECT_FALSE(zp->Zoom.Active);
    zp->MouseDown(TMouseButton::mbLeft, ssShift | ssCtrl, 100, 100);
    EXPECT_TRUE(zp->Zoom.Active);
}

// --- rubber band -------------------------------------------------------------------------

TEST_F(ZoomPanFixture, BandIsErasedAndRedrawnOnlyWhenThePositionChanges)
{
    zp->MouseDown(TMouseButton::mbLeft, 0, 100, 100);
    zp->MouseMove(0, 120, 130);
    zp->MouseMove(0, 120, 130);
    // Outside the control too: no limit.
    zp->MouseMove(0, 2000, -40);
    const auto draws = chart.FullDrawCount();
    zp->MouseUp(TMouseButton::mbLeft, 0, 2000, -40);
    const std::vector<TRect> expect{{100, 100, 100, 100},  {100, 100, 100, 100},
                                    {100, 100, 120, 130},  {100, 100, 120, 130},
                                    {100, 100, 2000, -40}, {100, 100, 2000, -40}};
    EXPECT_EQ(window.Bands, expect);
    EXPECT_EQ(chart.FullDrawCount(), draws);
    EXPECT_EQ(chart.Canvas().Pen().Mode, TPenMode::pmCopy);
}

TEST_F(ZoomPanFixture, FullDrawDuringAZoomDragEndsWithTheBand)
{
    zp->MouseDown(TMouseButton::mbLeft, 0, 100, 100);
    zp->MouseMove(0, 150, 140);
    surface.ClearRecords();
    Paint();
    const auto rects = surface.Calls(TSurfaceOp::Rectangle);
    ASSERT_FALSE(rects.empty());
    EXPECT_EQ(rects.back().Rect, (TRect{100, 100, 150, 140}));
    EXPECT_EQ(rects.back().Pen.Mode, TPenMode::pmNotXor);
    zp->MouseUp(TMouseButton::mbLeft, 0, 150, 140);
    surface.ClearRecords();
    Paint();
    for (const auto& r : surface.Calls(TSurfaceOp::Rectangle))
        EXPECT_NE(r.Pen.Mode, TPenMode::pmNotXor);
}

// --- panning -----------------------------------------------------------------------------

TEST_F(ZoomPanFixture, DraggingDownShowsHigherValues)
{
    const double h = left.PixelToValue(100) - left.PixelToValue(120);
    ASSERT_GT(h, 0);
    Drag(TMouseButton::mbRight, 100, 100, 100, 120);
    EXPECT_DOUBLE_EQ(left.Minimum(), h);
    EXPECT_DOUBLE_EQ(left.Maximum(), 100 + h);
    EXPECT_EQ(RangeOf(bottom), (Range{0, 199}));
}

TEST_F(ZoomPanFixture, EachStepUsesTheDistanceFromThePreviousPosition)
{
    const double w = bottom.PixelToValue(101) - bottom.PixelToValue(100);
    zp->MouseDown(TMouseButton::mbRight, 0, 100, 100);
    zp->MouseMove(0, 104, 100);
    zp->MouseMove(0, 104, 100);
    zp->MouseMove(0, 101, 100);
    // Without a paint between, the mapping is the old one: net one pixel to the right.
    EXPECT_NEAR(bottom.Minimum(), -w, 1e-9);
    EXPECT_NEAR(bottom.Maximum(), 199 - w, 1e-9);
}

TEST_F(ZoomPanFixture, HorizontalOnlyPanningIgnoresVerticalMovement)
{
    chart.AllowPanning = TPanningMode::pmHorizontal;
    int scrolls = 0;
    zp->OnScroll = [&](TCustomChart*) { ++scrolls; };
    const auto requests = chart.RepaintRequestCount();
    zp->MouseDown(TMouseButton::mbRight, 0, 100, 100);
    zp->MouseMove(0, 100, 140);
    EXPECT_EQ(scrolls, 0);
    EXPECT_EQ(chart.RepaintRequestCount(), requests);
    EXPECT_EQ(RangeOf(left), (Range{0, 100}));
    EXPECT_EQ(RangeOf(bottom), (Range{0, 199}));
    zp->MouseMove(0, 120, 150);
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(RangeOf(left), (Range{0, 100}));
    EXPECT_NE(RangeOf(bottom), (Range{0, 199}));

    chart.AllowPanning = TPanningMode::pmVertical;
    const Range b1 = RangeOf(bottom);
    zp->MouseMove(0, 140, 150);
    EXPECT_EQ(scrolls, 1);
    zp->MouseMove(0, 140, 160);
    EXPECT_EQ(scrolls, 2);
    EXPECT_EQ(RangeOf(bottom), b1);
    EXPECT_NE(RangeOf(left), (Range{0, 100}));
}

TEST_F(ZoomPanFixture, RefusedAxisStaysWhileOthersMove)
{
    std::vector<TCustomChartAxis*> asked;
    zp->OnAllowScroll = [&](TCustomChartAxis* a, double& lo, double& hi, bool& allow) {
        asked.push_back(a);
        if (a == &bottom)
            allow = false;
        if (a == chart.TopAxis()) {
            lo = -1;
            hi = 1;
        }
    };
    int scrolls = 0;
    zp->OnScroll = [&](TCustomChart*) { ++scrolls; };
    Drag(TMouseButton::mbRight, 100, 100, 110, 110);
    const std::vector<TCustomChartAxis*> order{&bottom, chart.TopAxis(), &left, chart.RightAxis()};
    EXPECT_EQ(asked, order);
    EXPECT_EQ(RangeOf(bottom), (Range{0, 199}));
    EXPECT_EQ(RangeOf(*chart.TopAxis()), (Range{-1, 1}));
    EXPECT_NE(RangeOf(left), (Range{0, 100}));
    EXPECT_EQ(scrolls, 1);
}

TEST_F(ZoomPanFixture, FirstPanSavesScalesAndUndoReturnsToThem)
{
    Drag(TMouseButton::mbRight, 100, 100, 130, 120);
    EXPECT_FALSE(zp->RestoredAxisScales());
    Paint();
    chart.AnimatedZoom = false;
    Drag(TMouseButton::mbLeft, 100, 100, 200, 200);
    Paint();
    Drag(TMouseButton::mbLeft, 200, 200, 100, 100);
    EXPECT_EQ(RangeOf(bottom), (Range{0, 199}));
    EXPECT_EQ(RangeOf(left), (Range{0, 100}));
}

// --- wheel, leave, cursor ----------------------------------------------------------------

TEST_F(ZoomPanFixture, WheelScrollsEveryVerticalAxisByThreePercent)
{
    chart.RightAxis()->SetRange(10, 20);
    int scrolls = 0;
    zp->OnScroll = [&](TCustomChart*) { ++scrolls; };
    zp->MouseWheel(1);
    EXPECT_EQ(RangeOf(left), (Range{3, 103}));
    EXPECT_DOUBLE_EQ(chart.RightAxis()->Minimum(), 10.3);
    EXPECT_EQ(RangeOf(bottom), (Range{0, 199}));
    zp->MouseWheel(-1);
    zp->MouseWheel(-1);
    EXPECT_DOUBLE_EQ(left.Minimum(), -3);
    EXPECT_DOUBLE_EQ(left.Maximum(), 97);
    EXPECT_EQ(scrolls, 0);
    EXPECT_TRUE(zp->RestoredAxisScales());
    EXPECT_FALSE(left.Automatic());
    const auto now = chart.RepaintNowCount();
    zp->MouseWheel(0);
    EXPECT_EQ(chart.RepaintNowCount(), now);
    zp->MouseWheel(2);
    EXPECT_GT(chart.RepaintNowCount(), now);
}

TEST_F(ZoomPanFixture, IdleMoveTakesTheCursorOfASeriesUnderTheMouse)
{
    zp->OriginalCursor = 3;
    zp->MouseMove(0, 100, 100);
    EXPECT_EQ(window.Cursor, 3);
    series->Cursor = 42;
    const int x = series->PointPixelX(60);
    const int y = series->PointPixelY(60);
    zp->MouseMove(0, x, y);
    EXPECT_EQ(window.Cursor, 42);
    zp->MouseMove(0, 100, 100);
    EXPECT_EQ(window.Cursor, 3);
    series->SetActive(false);
    zp->MouseMove(0, x, y);
    EXPECT_EQ(window.Cursor, 3);
    series->SetActive(true);
    zp->MouseDown(TMouseButton::mbRight, 0, 100, 100);
    EXPECT_EQ(window.Cursor, crDefault);
    zp->MouseLeave();
    EXPECT_EQ(window.Cursor, 3);
    EXPECT_FALSE(zp->Panning.Active);
}

TEST_F(ZoomPanFixture, HandlerExceptionLeavesNoDragBehind)
{
    chart.AnimatedZoom = false;
    zp->OnZoom = [](TCustomChart*) { throw std::runtime_error("boom"); };
    zp->MouseDown(TMouseButton::mbLeft, 0, 100, 100);
    EXPECT_THROW(zp->MouseUp(TMouseButton::mbLeft, 0, 140, 140), std::runtime_error);
    EXPECT_FALSE(zp->Zoom.Active);
    zp->MouseDown(TMouseButton::mbRight, 0, 100, 100);
    EXPECT_TRUE(zp->Panning.Active);
}

TEST(ZoomPanLifetime, ChartForgetsTheBandWhenTheInteractionGoes)
{
    TChart chart;
    {
        TZoomPanInteraction zp(chart);
        ASSERT_TRUE(static_cast<bool>(chart.ActiveZoomRectangle));
        TRect r;
        EXPECT_FALSE(chart.ActiveZoomRectangle(r));
        zp.Zoom.Activate(1, 2);
        EXPECT_TRUE(chart.ActiveZoomRectangle(r));
        EXPECT_EQ(r, (TRect{1, 2, 1, 2}));
    }
    EXPECT_FALSE(static_cast<bool>(chart.ActiveZoomRectangle));

    // A replaced interaction going away leaves its successor's hook alone.
    auto first = std::make_unique<TZoomPanInteraction>(chart);
    TZoomPanInteraction second(chart);
    first.reset();
    second.Zoom.Activate(5, 6);
    TRect r;
    ASSERT_TRUE(static_cast<bool>(chart.ActiveZoomRectangle));
    EXPECT_TRUE(chart.ActiveZoomRectangle(r));
    EXPECT_EQ(r, (TRect{5, 6, 5, 6}));
}

} // namespace
} // namespace rv
