// The canvas over a recording surface: state forwarding, system colours, buffering.
#include <gtest/gtest.h>

#include "Canvas3D.h"
#include "rangeview/chart/RecordingSurface.h"

namespace rv {
namespace {

TEST(Canvas3D, ResolvesSystemColoursBeforeTheSurfaceSeesThem)
{
    TRecordingSurface s;
    TCanvas3D c;
    c.SetOwnSurface(&s);
    c.SetPen(clBtnShadow, 2);
    EXPECT_EQ(s.Pen().Color, DefaultSystemColor(clBtnShadow));
    EXPECT_EQ(s.Pen().Width, 2);
    EXPECT_EQ(c.Pen().Color, clBtnShadow);
    c.SetBrush(clBtnFace, TBrushStyle::bsSolid);
    EXPECT_EQ(s.Brush().Color, DefaultSystemColor(clBtnFace));
    EXPECT_FALSE(IsSystemColor(s.Brush().Color));
}

TEST(Canvas3D, InvisibleChartPenBecomesClear)
{
    TRecordingSurface s;
    TCanvas3D c;
    c.SetOwnSurface(&s);
    TChartPen pen(clRed, 3);
    pen.SetVisible(false);
    c.AssignPen(pen);
    EXPECT_EQ(s.Pen().Style, TPenStyle::psClear);
    EXPECT_EQ(s.Pen().Width, 3);
}

TEST(Canvas3D, BufferedDrawGoesToAnImageCopiedOnce)
{
    TRecordingSurface target;
    TCanvas3D c;
    c.SetOwnSurface(&target);
    const TRect bounds = c.BeginDraw(target, TRect{10, 20, 110, 70});
    EXPECT_EQ(bounds, (TRect{0, 0, 100, 50}));
    ASSERT_NE(c.Image(), nullptr);
    c.SetPen(clRed);
    c.LineTo(5, 5);
    c.EndDraw();
    EXPECT_FALSE(c.ImageDirty);
    const auto& recs = target.Records();
    ASSERT_FALSE(recs.empty());
    EXPECT_EQ(recs.back().Op, TSurfaceOp::DrawImage);
    EXPECT_EQ(recs.back().X, 10);
    EXPECT_EQ(recs.back().Y, 20);
    // Every drawing call went to the image (layer 1).
    for (const auto& r : recs) {
        if (r.Op == TSurfaceOp::LineTo) {
            EXPECT_EQ(r.Layer, 1);
        }
    }
    // The state follows the canvas back to the own surface.
    EXPECT_EQ(c.Surface(), &target);
    EXPECT_EQ(target.Pen().Color, clRed);
}

TEST(Canvas3D, UnbufferedDrawsOnTheTarget)
{
    TRecordingSurface target;
    TCanvas3D c;
    c.SetBufferedDisplay(false);
    const TRect bounds = c.BeginDraw(target, TRect{10, 20, 110, 70});
    EXPECT_EQ(bounds, (TRect{10, 20, 110, 70}));
    EXPECT_EQ(c.Image(), nullptr);
    EXPECT_EQ(c.Surface(), &target);
    c.EndDraw();
    EXPECT_TRUE(c.ImageDirty);
}

TEST(Canvas3D, TurningBufferingOffFreesTheImage)
{
    TRecordingSurface target;
    TCanvas3D c;
    c.SetOwnSurface(&target);
    c.BeginDraw(target, TRect{0, 0, 10, 10});
    c.EndDraw();
    ASSERT_NE(c.Image(), nullptr);
    c.SetBufferedDisplay(false);
    EXPECT_EQ(c.Image(), nullptr);
    EXPECT_TRUE(c.ImageDirty);
}

TEST(Canvas3D, ImageUpdateNeedsAnImageAndNoDraw)
{
    TRecordingSurface target;
    TCanvas3D c;
    c.SetOwnSurface(&target);
    EXPECT_FALSE(c.BeginImageUpdate());
    c.BeginDraw(target, TRect{0, 0, 10, 10});
    EXPECT_FALSE(c.BeginImageUpdate());
    c.EndDraw();
    ASSERT_TRUE(c.BeginImageUpdate());
    EXPECT_EQ(c.Surface(), &c.Image()->Surface());
    c.ClipRectangle(TRect{1, 1, 5, 5});
    c.EndImageUpdate();
    EXPECT_EQ(c.Surface(), &target);
    EXPECT_FALSE(static_cast<TRecordingSurface&>(c.Image()->Surface()).Clipped());
}

TEST(Canvas3D, Frame3DDrawsNestedRingsAndShrinks)
{
    TRecordingSurface s;
    TCanvas3D c;
    c.SetOwnSurface(&s);
    TRect r{0, 0, 10, 8};
    c.Frame3D(r, clWhite, clBlack, 2);
    EXPECT_EQ(r, (TRect{2, 2, 8, 6}));
    const auto segs = s.Segments();
    ASSERT_EQ(segs.size(), 8u);
    // Ring 1: left edge up, top edge right (white); right edge down, bottom edge left (black).
    EXPECT_EQ(segs[0].Pen.Color, clWhite);
    EXPECT_EQ(segs[0].X0, 0);
    EXPECT_EQ(segs[0].Y0, 7);
    EXPECT_EQ(segs[0].Y1, 0);
    EXPECT_EQ(segs[1].X1, 9);
    EXPECT_EQ(segs[2].Pen.Color, clBlack);
    EXPECT_EQ(segs[2].X0, 9);
    EXPECT_EQ(segs[2].Y1, 7);
    EXPECT_EQ(segs[3].X1, -1);
    // Ring 2 is inset by one.
    EXPECT_EQ(segs[4].X0, 1);
    EXPECT_EQ(segs[4].Y0, 6);
    // The canvas' own pen is restored on the surface.
    EXPECT_EQ(s.Pen(), c.Pen());
}

TEST(Canvas3D, ResetStateIsTheNeutralCanvas)
{
    TRecordingSurface s;
    TCanvas3D c;
    c.SetOwnSurface(&s);
    c.SetPen(clRed, 3, TPenStyle::psDot, TPenMode::pmNotXor);
    c.SetBrush(clBlue, TBrushStyle::bsClear);
    c.SetBkMode(TBkMode::bkOpaque);
    c.ResetState();
    EXPECT_EQ(s.Pen().Color, clBlack);
    EXPECT_EQ(s.Pen().Width, 1);
    EXPECT_EQ(s.Pen().Mode, TPenMode::pmCopy);
    EXPECT_EQ(s.Brush(), (TBrushData{clWhite, TBrushStyle::bsSolid}));
    EXPECT_EQ(s.Font().Height, -13);
    EXPECT_EQ(c.BkMode(), TBkMode::bkTransparent);
}

} // namespace
} // namespace rv
