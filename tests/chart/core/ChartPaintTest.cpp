// Painting of the chart through the recording surface with a fixed fake font
// (6 pixels per character, 12 pixels high).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ChartPaint.h"
#include "rangeview/chart/ChartSetup.h"
#include "rangeview/chart/RecordingSurface.h"

namespace rv {
namespace {

class Chart1Paint : public ::testing::Test {
protected:
    void SetUp() override
    {
        series = ConfigureChart1(chart);
        chart.Canvas().SetOwnSurface(&surface);
    }
    void Paint()
    {
        surface.ClearRecords();
        chart.PaintHandler();
    }
    std::vector<TSurfaceRecord> Texts(std::int32_t layer = 1) const
    {
        std::vector<TSurfaceRecord> out;
        for (const auto& r : surface.Calls(TSurfaceOp::TextOut)) {
            if (r.Layer == layer)
                out.push_back(r);
        }
        return out;
    }
    // Label texts drawn with the given horizontal alignment, in drawing order.
    std::vector<std::string> Labels(THorizTextAlign align) const
    {
        std::vector<std::string> out;
        for (const auto& r : Texts()) {
            if (r.HAlign == align && r.Font.Height != -14)
                out.push_back(r.Text);
        }
        return out;
    }
    std::size_t IndexOfFirst(TSurfaceOp op, std::size_t from = 0) const
    {
        const auto& recs = surface.Records();
        for (std::size_t i = from; i < recs.size(); ++i) {
            if (recs[i].Op == op)
                return i;
        }
        return recs.size();
    }

    TChart chart;
    TFastLineSeries* series = nullptr;
    TRecordingSurface surface;
};

TEST_F(Chart1Paint, Series1IsTheChartsRedLine)
{
    ASSERT_NE(series, nullptr);
    EXPECT_EQ(chart.SeriesCount(), 1);
    EXPECT_EQ(series->Name, "Series1");
    EXPECT_EQ(series->LinePen().Color(), clRed);
    EXPECT_EQ(series->LinePen().Width(), 3);
    EXPECT_EQ(series->ResolvedHorizAxis(), chart.BottomAxis());
    EXPECT_FALSE(chart.BottomAxis()->Automatic());
}

TEST_F(Chart1Paint, ChartRectangleFromMarginsBorderTitleAndAxes)
{
    // Stop right after the title has taken its room.
    TRect afterTitle;
    chart.OnBeforeDrawAxes = [&](TCustomChart*) { afterTitle = chart.ChartRect(); };
    Paint();
    // Initial rectangle 33, 20, 920, 293; the title line (12) plus spacing (5) moves the top to
    // 37; the bottom axis takes 12 + 6, the left axis "0" + blank (12) + 2.
    EXPECT_EQ(chart.ChartBounds, (TRect{0, 0, 953, 313}));
    EXPECT_EQ(chart.ChartRect(), (TRect{47, 37, 920, 275}));
    EXPECT_EQ(afterTitle, chart.ChartRect());
    EXPECT_EQ(chart.BottomAxis()->LabelAnchor, 281);
    EXPECT_EQ(chart.LeftAxis()->LabelAnchor, 45);
    EXPECT_EQ(chart.BottomAxis()->StartPixel, 47);
    EXPECT_EQ(chart.BottomAxis()->EndPixel, 920);
}

TEST_F(Chart1Paint, InitialRectangleBeforeTitle)
{
    chart.Title().SetVisible(false);
    chart.SetAxisVisible(false);
    Paint();
    EXPECT_EQ(chart.ChartRect(), (TRect{33, 20, 920, 293}));
}

TEST_F(Chart1Paint, TitleCentredAtTheTopOfTheChartRectangle)
{
    Paint();
    const auto texts = Texts();
    ASSERT_FALSE(texts.empty());
    const auto& title = texts.front();
    EXPECT_EQ(title.Text, Chart1TitleText);
    // 36 characters of 6 pixels: (33 + 920) / 2 - 216 / 2.
    EXPECT_EQ(title.X, 476 - 108);
    EXPECT_EQ(title.Y, 20);
    EXPECT_EQ(title.Font.Height, -14);
    EXPECT_EQ(title.Font.Color, clBlack);
    EXPECT_EQ(title.BkMode, TBkMode::bkTransparent);
    EXPECT_EQ(chart.Title().TitleRect, (TRect{33, 20, 920, 32}));
}

TEST_F(Chart1Paint, MultiLineTitleAndFrameMoveTheTopFurther)
{
    chart.Title().SetText({"A", "B"});
    chart.Title().Frame().SetVisible(true);
    chart.Title().Frame().SetWidth(2);
    chart.SetAxisVisible(false);
    Paint();
    // 20 + 2 + 2 * 12 + 2 + 5.
    EXPECT_EQ(chart.ChartRect().Top, 53);
    const auto texts = Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].Y, 22);
    EXPECT_EQ(texts[1].Y, 34);
}

TEST_F(Chart1Paint, EmptyTitleAndFootTakeNoRoom)
{
    chart.Title().SetText({});
    chart.Foot().SetText({});
    chart.SetAxisVisible(false);
    Paint();
    EXPECT_EQ(chart.ChartRect(), (TRect{33, 20, 920, 293}));
}

TEST_F(Chart1Paint, FootTakesRoomAtTheBottom)
{
    chart.Foot().SetText({"foot"});
    chart.SetAxisVisible(false);
    Paint();
    EXPECT_EQ(chart.ChartRect().Bottom, 293 - 12 - 5);
    const auto texts = Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1].Text, "foot");
    EXPECT_EQ(texts[1].Y, 293 - 12);
}

TEST_F(Chart1Paint, GradientBandsFromWhiteAtTheBottomToTheEndColourAtTheTop)
{
    Paint();
    std::vector<TSurfaceRecord> fills;
    for (const auto& r : surface.Calls(TSurfaceOp::FillRect)) {
        if (r.Layer == 1)
            fills.push_back(r);
    }
    ASSERT_EQ(fills.size(), 256u);
    EXPECT_EQ(fills.front().Rect.Bottom, 313);
    EXPECT_EQ(fills.front().Brush.Color, clWhite);
    EXPECT_EQ(fills.back().Rect.Top, 0);
    EXPECT_EQ(fills.back().Brush.Color, 0xB5BCCAu);
    // Contiguous bands of one or two rows covering the full width.
    std::int32_t expectBottom = 313;
    for (const auto& f : fills) {
        EXPECT_EQ(f.Rect.Left, 0);
        EXPECT_EQ(f.Rect.Right, 953);
        EXPECT_EQ(f.Rect.Bottom, expectBottom);
        EXPECT_GE(f.Rect.Height(), 1);
        EXPECT_LE(f.Rect.Height(), 2);
        EXPECT_EQ(f.Brush.Style, TBrushStyle::bsSolid);
        expectBottom = f.Rect.Top;
    }
}

TEST_F(Chart1Paint, ShortPanelGetsOneBandPerRow)
{
    TCanvas3D& canvas = chart.Canvas();
    canvas.SetBufferedDisplay(false);
    chart.SetSize(200, 100);
    chart.Draw(surface, TRect{0, 0, 200, 100});
    const auto fills = surface.Calls(TSurfaceOp::FillRect);
    ASSERT_EQ(fills.size(), 100u);
    for (std::size_t k = 0; k < fills.size(); ++k) {
        EXPECT_EQ(fills[k].Rect.Height(), 1);
        EXPECT_EQ(fills[k].Rect.Bottom, 100 - static_cast<std::int32_t>(k));
    }
    // Without buffering nothing is copied and the bounds are the target rectangle.
    EXPECT_TRUE(surface.Calls(TSurfaceOp::DrawImage).empty());
    EXPECT_TRUE(surface.Calls(TSurfaceOp::CreateImage).empty());
}

TEST_F(Chart1Paint, OneRowPanelIsFilledWithTheStartColour)
{
    chart.Canvas().SetBufferedDisplay(false);
    chart.SetSize(50, 1);
    chart.Draw(surface, TRect{0, 0, 50, 1});
    const auto fills = surface.Calls(TSurfaceOp::FillRect);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].Brush.Color, clWhite);
}

TEST_F(Chart1Paint, PlainBackgroundWithoutGradient)
{
    chart.Gradient().SetVisible(false);
    Paint();
    std::vector<TSurfaceRecord> fills;
    for (const auto& r : surface.Calls(TSurfaceOp::FillRect)) {
        if (r.Layer == 1)
            fills.push_back(r);
    }
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].Rect, (TRect{0, 0, 953, 313}));
    EXPECT_EQ(fills[0].Brush.Color, surface.ColorToRGB(clBtnFace));
}

TEST_F(Chart1Paint, BevelsAndBorderRings)
{
    Paint();
    const TColor hi = surface.ColorToRGB(clBtnHighlight);
    const TColor sh = surface.ColorToRGB(clBtnShadow);
    const TColor face = surface.ColorToRGB(clBtnFace);
    std::vector<TRecordedSegment> frame;
    for (const auto& s : surface.Segments()) {
        if (s.Layer == 1 && s.Pen.Width == 1 && s.Pen.Style == TPenStyle::psSolid &&
            (s.Pen.Color == hi || s.Pen.Color == sh || s.Pen.Color == face)) {
            frame.push_back(s);
        }
    }
    // Six rings of four edges.
    ASSERT_GE(frame.size(), 24u);
    // Outer ring: left edge bottom to top, then top edge, in the highlight colour.
    EXPECT_EQ(frame[0].Pen.Color, hi);
    EXPECT_EQ(frame[0].X0, 0);
    EXPECT_EQ(frame[0].Y0, 312);
    EXPECT_EQ(frame[0].Y1, 0);
    EXPECT_EQ(frame[1].X1, 952);
    EXPECT_EQ(frame[2].Pen.Color, sh);
    EXPECT_EQ(frame[2].X0, 952);
    EXPECT_EQ(frame[3].X1, -1);
    // Four border rings in the panel colour, then the inner bevel at inset 5.
    for (int i = 4; i < 20; ++i)
        EXPECT_EQ(frame[static_cast<std::size_t>(i)].Pen.Color, face) << i;
    EXPECT_EQ(frame[20].Pen.Color, hi);
    EXPECT_EQ(frame[20].X0, 5);
    EXPECT_EQ(frame[20].Y0, 307);
    EXPECT_EQ(frame[22].Pen.Color, sh);
    EXPECT_EQ(frame[22].X0, 947);
}

TEST_F(Chart1Paint, BackWallIsAnOutlineAroundTheChartRectangle)
{
    Paint();
    std::vector<TSurfaceRecord> rects;
    for (const auto& r : surface.Calls(TSurfaceOp::Rectangle)) {
        if (r.Layer == 1)
            rects.push_back(r);
    }
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].Rect, (TRect{47, 37, 921, 276}));
    EXPECT_EQ(rects[0].Brush.Style, TBrushStyle::bsClear);
    EXPECT_EQ(rects[0].Pen.Color, clBlack);
    EXPECT_EQ(rects[0].Pen.Style, TPenStyle::psSolid);
}

TEST_F(Chart1Paint, DrawingOrderIsFixed)
{
    for (int i = 0; i < 5; ++i)
        series->AddPoint(i, i, "", UseSeriesColor);
    chart.LeftAxis()->SetMaximum(5);
    std::vector<std::string> events;
    chart.OnBeforeDrawAxes = [&](TCustomChart*) { events.push_back("axes"); };
    chart.OnBeforeDrawSeries = [&](TCustomChart*) { events.push_back("series"); };
    series->BeforeDrawValues = [&](TChartSeries*) { events.push_back("before values"); };
    series->AfterDrawValues = [&](TChartSeries*) { events.push_back("after values"); };
    chart.OnAfterDraw = [&](TCustomChart*) { events.push_back("after"); };
    Paint();
    EXPECT_EQ(events, (std::vector<std::string>{"axes", "series", "before values", "after values",
                                                "after"}));

    const std::size_t fill = IndexOfFirst(TSurfaceOp::FillRect);
    const std::size_t text = IndexOfFirst(TSurfaceOp::TextOut);
    const std::size_t wall = IndexOfFirst(TSurfaceOp::Rectangle);
    const std::size_t clip = IndexOfFirst(TSurfaceOp::SetClip);
    const std::size_t unclip = IndexOfFirst(TSurfaceOp::RemoveClip, clip);
    const std::size_t copy = IndexOfFirst(TSurfaceOp::DrawImage);
    EXPECT_LT(fill, text);
    EXPECT_LT(text, wall);
    // Axis labels come before the series' clipping.
    std::size_t lastAxisText = 0;
    for (std::size_t i = wall; i < clip; ++i) {
        if (surface.Records()[i].Op == TSurfaceOp::TextOut)
            lastAxisText = i;
    }
    EXPECT_GT(lastAxisText, wall);
    EXPECT_LT(clip, unclip);
    EXPECT_LT(unclip, copy);
    EXPECT_EQ(copy, surface.Records().size() - 1);
    // The canvas is back to its neutral state after the draw.
    EXPECT_EQ(chart.Canvas().Pen().Color, clBlack);
    EXPECT_EQ(chart.Canvas().Pen().Width, 1);
    EXPECT_EQ(chart.Canvas().Brush().Style, TBrushStyle::bsSolid);
    EXPECT_EQ(chart.Canvas().BkMode(), TBkMode::bkTransparent);
}

TEST_F(Chart1Paint, SeriesIsClippedToTheInsideOfTheFrame)
{
    for (int i = 0; i < 5; ++i)
        series->AddPoint(i, i, "", UseSeriesColor);
    Paint();
    const auto clips = surface.Calls(TSurfaceOp::SetClip);
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(clips[0].Rect, (TRect{48, 38, 920, 274}));
    for (const auto& s : surface.Segments()) {
        if (s.Pen.Color == clRed) {
            EXPECT_TRUE(s.Clipped);
        }
    }
}

TEST_F(Chart1Paint, EmptySeriesDrawsNoValuesButAxesStay)
{
    bool before = false;
    series->BeforeDrawValues = [&](TChartSeries*) { before = true; };
    Paint();
    EXPECT_FALSE(before);
    EXPECT_TRUE(surface.Calls(TSurfaceOp::SetClip).empty());
    // The left axis over 0 .. 0 shows its one label "0" in the middle.
    EXPECT_EQ(Labels(THorizTextAlign::taRight), std::vector<std::string>{"0"});
}

TEST_F(Chart1Paint, InactiveSeriesHidesTheAxes)
{
    series->SetActive(false);
    Paint();
    // No active series: all four axes count as visible but have no label style, so only their
    // lines are drawn; no labels, no ticks.
    EXPECT_TRUE(Labels(THorizTextAlign::taCenter).empty());
    EXPECT_TRUE(Labels(THorizTextAlign::taRight).empty());
    EXPECT_EQ(chart.TickPositions(0).Count, 0);
}

// --- paint handler and repaint requests ---------------------------------------------------------

TEST_F(Chart1Paint, CleanImageIsOnlyCopied)
{
    Paint();
    EXPECT_EQ(chart.FullDrawCount(), 1);
    EXPECT_FALSE(chart.Canvas().ImageDirty);
    Paint();
    EXPECT_EQ(chart.FullDrawCount(), 1);
    ASSERT_EQ(surface.Records().size(), 1u);
    EXPECT_EQ(surface.Records()[0].Op, TSurfaceOp::DrawImage);
    EXPECT_EQ(surface.Records()[0].Rect, (TRect{0, 0, 953, 313}));
}

TEST_F(Chart1Paint, RepaintRequestMarksTheImageDirty)
{
    int requests = 0;
    chart.OnRequestRepaint = [&] { ++requests; };
    Paint();
    series->AddPoint(0, 1, "", UseSeriesColor);
    EXPECT_EQ(requests, 1);
    EXPECT_TRUE(chart.Canvas().ImageDirty);
    Paint();
    EXPECT_EQ(chart.FullDrawCount(), 2);
    // Drawing itself asks for nothing.
    EXPECT_EQ(requests, 1);
    // The image is kept while the size stays.
    EXPECT_EQ(surface.Calls(TSurfaceOp::CreateImage).size(), 0u);
}

TEST_F(Chart1Paint, ResizeRecreatesTheImage)
{
    Paint();
    chart.SetSize(600, 200);
    Paint();
    const auto created = surface.Calls(TSurfaceOp::CreateImage);
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0].Rect, (TRect{0, 0, 600, 200}));
}

TEST_F(Chart1Paint, AutoRepaintOffIgnoresRequests)
{
    Paint();
    chart.SetAutoRepaint(false);
    chart.Invalidate();
    EXPECT_FALSE(chart.Canvas().ImageDirty);
    chart.SetAutoRepaint(true);
}

TEST_F(Chart1Paint, ChangeDuringDrawIsNotLost)
{
    chart.OnAfterDraw = [&](TCustomChart*) { chart.Gradient().SetEndColor(clRed); };
    Paint();
    EXPECT_TRUE(chart.Canvas().ImageDirty);
}

TEST_F(Chart1Paint, FailedDrawLeavesTheImageDirtyAndTheCanvasUsable)
{
    series->AddPoint(0, 1, "", UseSeriesColor);
    series->BeforeDrawValues = [](TChartSeries*) { throw std::runtime_error("boom"); };
    EXPECT_THROW(Paint(), std::runtime_error);
    EXPECT_TRUE(chart.Canvas().ImageDirty);
    EXPECT_FALSE(chart.Canvas().Drawing());
    EXPECT_EQ(chart.Canvas().Surface(), &surface);
    EXPECT_TRUE(surface.Calls(TSurfaceOp::DrawImage).empty());
    series->BeforeDrawValues = nullptr;
    Paint();
    EXPECT_FALSE(chart.Canvas().ImageDirty);
    EXPECT_FALSE(surface.Clipped());
}

TEST_F(Chart1Paint, PrintingPaintsNothing)
{
    chart.Printing = true;
    Paint();
    EXPECT_TRUE(surface.Records().empty());
}

// --- zoom rectangle -------------------------------------------------------------------------------

TEST_F(Chart1Paint, ZoomRectangleIsNotXorAndDrawnLast)
{
    chart.ActiveZoomRectangle = [](TRect& r) {
        r = TRect{300, 200, 100, 50};
        return true;
    };
    Paint();
    const auto rects = surface.Calls(TSurfaceOp::Rectangle);
    ASSERT_EQ(rects.size(), 2u);
    const auto& zoom = rects[1];
    EXPECT_EQ(zoom.Rect, (TRect{100, 50, 300, 200}));
    EXPECT_EQ(zoom.Pen.Mode, TPenMode::pmNotXor);
    EXPECT_EQ(zoom.Brush.Style, TBrushStyle::bsClear);
    // clBtnFace resolved: not white, so it is the pen colour.
    EXPECT_EQ(zoom.Pen.Color, surface.ColorToRGB(clBtnFace));
}

TEST_F(Chart1Paint, WhiteChartColourGivesABlackZoomPen)
{
    chart.SetColor(clWhite);
    chart.DrawZoomRectangle(TRect{1, 2, 3, 4});
    const auto rects = surface.Calls(TSurfaceOp::Rectangle);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].Pen.Color, clBlack);
}

// --- immediate drawing of a new value ------------------------------------------------------------

TEST_F(Chart1Paint, NewValueWithoutAutoRepaintGoesOntoTheImage)
{
    series->SetAutoRepaint(false);
    series->AddPoint(0, 0, "", UseSeriesColor);
    chart.LeftAxis()->SetMaximum(10);
    Paint();
    int requests = 0;
    chart.OnRequestRepaint = [&] { ++requests; };
    surface.ClearRecords();
    series->AddPoint(1, 5, "", UseSeriesColor);
    EXPECT_FALSE(chart.Canvas().ImageDirty);
    EXPECT_EQ(requests, 1);
    const auto segs = surface.Segments();
    ASSERT_EQ(segs.size(), 1u);
    EXPECT_EQ(segs[0].Layer, 1);
    EXPECT_EQ(segs[0].X0, chart.BottomAxis()->ValueToPixel(0));
    EXPECT_EQ(segs[0].X1, chart.BottomAxis()->ValueToPixel(1));
    EXPECT_EQ(segs[0].Pen.Color, clRed);
    EXPECT_TRUE(segs[0].Clipped);
}

} // namespace
} // namespace rv
