// Pixel rules of the QPainter surface.
#include <gtest/gtest.h>

#include <QImage>

#include <random>
#include <utility>

#include "rangeview/chart/CacheBudget.h"
#include "rangeview/chart/qt/QtSurface.h"
#include "rangeview/chart/qt/QtSurfaceImage.h"

namespace rv {
namespace {

constexpr QRgb White = 0xFFFFFFFFu;
constexpr QRgb Black = 0xFF000000u;

class QtSurfaceTest : public ::testing::Test {
protected:
    QtSurfaceImage image{20, 12, nullptr};
    TSurface& s = image.Surface();
    QRgb At(int x, int y) { return image.Image().pixel(x, y); }
    int Count(QRgb c)
    {
        const QImage& im = image.Image();
        int n = 0;
        for (int y = 0; y < im.height(); ++y) {
            for (int x = 0; x < im.width(); ++x)
                n += im.pixel(x, y) == c;
        }
        return n;
    }
    void Pen(TColor c, int width = 1, TPenStyle style = TPenStyle::psSolid,
             TPenMode mode = TPenMode::pmCopy)
    {
        TPenData p;
        p.Color = c;
        p.Width = width;
        p.Style = style;
        p.Mode = mode;
        s.SetPen(p);
    }
};

TEST_F(QtSurfaceTest, LinesLeaveOutTheirEndPixel)
{
    Pen(clBlack);
    s.MoveTo(2, 3);
    s.LineTo(8, 3);
    s.LineTo(8, 7);
    EXPECT_EQ(At(2, 3), Black);
    EXPECT_EQ(At(7, 3), Black);
    // The corner belongs to the second line; its end (8, 7) is not drawn.
    EXPECT_EQ(At(8, 3), Black);
    EXPECT_EQ(At(8, 6), Black);
    EXPECT_EQ(At(8, 7), White);
    EXPECT_EQ(Count(Black), 6 + 4);
}

TEST_F(QtSurfaceTest, BackwardLinesKeepTheirStartAndLeaveOutTheirEnd)
{
    Pen(clBlack);
    // Right to left, upward, and diagonally up-left: the start pixel is drawn, the end is not.
    s.MoveTo(10, 1);
    s.LineTo(7, 1);
    s.MoveTo(3, 9);
    s.LineTo(3, 5);
    s.MoveTo(15, 10);
    s.LineTo(12, 7);
    for (const auto& [x, y] : {std::pair{10, 1},
                               {9, 1},
                               {8, 1},
                               {3, 9},
                               {3, 8},
                               {3, 7},
                               {3, 6},
                               {15, 10},
                               {14, 9},
                               {13, 8}}) {
        EXPECT_EQ(At(x, y), Black) << x << "," << y;
    }
    EXPECT_EQ(At(7, 1), White);
    EXPECT_EQ(At(3, 5), White);
    EXPECT_EQ(At(12, 7), White);
    EXPECT_EQ(Count(Black), 3 + 4 + 3);
}

TEST_F(QtSurfaceTest, ThinLinesFarOutsideTheImageStillDrawTheirVisiblePart)
{
    Pen(clBlack);
    s.MoveTo(2'000'000'000, 4);
    s.LineTo(-2'000'000'000, 4);
    s.MoveTo(6, -2'000'000'000);
    s.LineTo(6, 2'000'000'000);
    // A diagonal too long to walk pixel by pixel.
    s.MoveTo(-1'000'000, -1'000'000);
    s.LineTo(1'000'000, 1'000'000);
    EXPECT_EQ(At(0, 4), Black);
    EXPECT_EQ(At(19, 4), Black);
    EXPECT_EQ(At(6, 0), Black);
    EXPECT_EQ(At(6, 11), Black);
    EXPECT_EQ(At(9, 9), Black);
}

// Widths of new axis labels come from the characters' advances where the font allows: they
// must be what the shaper gives, in fonts with and without kerning, fractional advances, bold.
TEST(QtSurfaceCacheTest, NumberWidthsAreTheShapersWidths)
{
    std::mt19937 rng(11);
    const std::string chars = "0123456789-+.,";
    std::uniform_int_distribution<std::size_t> pick(0, chars.size() - 1);
    std::uniform_int_distribution<int> length(1, 14);
    for (const char* name : {"Arial", "DejaVu Sans", "DejaVu Serif", "Liberation Mono",
                             "WenQuanYi Micro Hei", "Times New Roman"}) {
        for (const std::int32_t height : {-8, -11, -13, -17, -29, 12}) {
            for (const std::uint8_t style : {std::uint8_t{0}, std::uint8_t{fsBold}}) {
                QtSurfaceImage image(4, 4, nullptr);
                TSurface& s = image.Surface();
                TFontData font;
                font.Name = name;
                font.Height = height;
                font.Style = style;
                s.SetFont(font);
                for (int i = 0; i < 60; ++i) {
                    std::string text;
                    for (int n = length(rng); n > 0; --n)
                        text += chars[pick(rng)];
                    if (i % 10 == 9)
                        text += " 5";
                    QtSurface::SetReferenceDrawing(true);
                    const std::int32_t shaped = s.TextWidth(text);
                    QtSurface::SetReferenceDrawing(false);
                    ASSERT_EQ(s.TextWidth(text), shaped)
                        << name << " " << height << " '" << text << "'";
                }
            }
        }
    }
}

// Segments of every length and slope a stamp is made for, with the waveform's pen: the caches
// stay within their budget, dropping the oldest, and the picture is still the plain one.
TEST(QtSurfaceCacheTest, LongestSegmentsStayWithinTheBudget)
{
    TCacheBudget& budget = TCacheBudget::Shared();
    budget.ResetPeak();
    const std::uint64_t evictions = budget.Evictions();
    QtSurfaceImage fast(1100, 1100, nullptr);
    QtSurfaceImage plain(1100, 1100, nullptr);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> delta(-1000, 1000);
    TPenData pen;
    pen.Color = clRed;
    pen.Width = 3;
    for (int i = 0; i < 1500; ++i) {
        const int dx = delta(rng);
        const int dy = delta(rng);
        const int x = 50 + std::max(-dx, 0);
        const int y = 50 + std::max(-dy, 0);
        for (QtSurfaceImage* image : {&fast, &plain}) {
            QtSurface::SetReferenceDrawing(image == &plain);
            image->Surface().SetPen(pen);
            image->Surface().MoveTo(x, y);
            image->Surface().LineTo(x + dx, y + dy);
            image->Image();
        }
        QtSurface::SetReferenceDrawing(false);
    }
    EXPECT_LE(budget.Peak(), budget.Limit());
    EXPECT_GT(budget.Evictions(), evictions + 100);
    EXPECT_TRUE(fast.Image() == plain.Image());
}

TEST_F(QtSurfaceTest, ZeroLengthLineAndClearPenDrawNothing)
{
    Pen(clBlack, 3);
    s.MoveTo(5, 5);
    s.LineTo(5, 5);
    Pen(clBlack, 1, TPenStyle::psClear);
    s.LineTo(15, 5);
    EXPECT_EQ(Count(Black), 0);
}

TEST_F(QtSurfaceTest, RectangleExcludesRightColumnAndBottomRow)
{
    Pen(clBlack);
    s.SetBrush(TBrushData{clRed, TBrushStyle::bsSolid});
    s.Rectangle(TRect{2, 2, 7, 6});
    EXPECT_EQ(At(2, 2), Black);
    EXPECT_EQ(At(6, 5), Black);
    EXPECT_EQ(At(7, 5), White);
    EXPECT_EQ(At(6, 6), White);
    EXPECT_EQ(At(3, 3), 0xFFFF0000u);
    EXPECT_EQ(Count(Black), 5 * 2 + 2 * 2);
}

TEST_F(QtSurfaceTest, FillRectUsesTheBrushOnly)
{
    Pen(clBlack, 1, TPenStyle::psSolid, TPenMode::pmNotXor);
    s.SetBrush(TBrushData{RGB(0x12, 0x34, 0x56), TBrushStyle::bsSolid});
    s.FillRect(TRect{0, 0, 4, 2});
    EXPECT_EQ(At(3, 1), 0xFF123456u);
    EXPECT_EQ(At(4, 1), White);
    s.SetBrush(TBrushData{clRed, TBrushStyle::bsClear});
    s.FillRect(TRect{0, 0, 4, 2});
    EXPECT_EQ(At(0, 0), 0xFF123456u);
}

TEST_F(QtSurfaceTest, NotXorTwiceRestoresThePixels)
{
    s.SetBrush(TBrushData{RGB(0x12, 0x34, 0x56), TBrushStyle::bsSolid});
    s.FillRect(TRect{0, 0, 20, 12});
    const QImage before = image.Image().copy();
    Pen(RGB(0xF0, 0xF0, 0xF0), 1, TPenStyle::psSolid, TPenMode::pmNotXor);
    s.SetBrush(TBrushData{clWhite, TBrushStyle::bsClear});
    s.Rectangle(TRect{3, 2, 15, 9});
    // Every outline pixel, corners included, is NOT(pen XOR screen).
    const QRgb inverted = 0xFF000000u | (~(0xF0F0F0u ^ 0x123456u) & 0xFFFFFFu);
    EXPECT_EQ(At(3, 2), inverted);
    EXPECT_EQ(At(14, 8), inverted);
    EXPECT_EQ(At(8, 2), inverted);
    EXPECT_EQ(At(8, 5), 0xFF123456u);
    s.Rectangle(TRect{3, 2, 15, 9});
    EXPECT_EQ(image.Image(), before);
}

TEST_F(QtSurfaceTest, ClippingKeepsDrawingInside)
{
    Pen(clBlack, 3);
    s.SetClipRect(TRect{5, 0, 10, 12});
    s.MoveTo(0, 6);
    s.LineTo(19, 6);
    EXPECT_EQ(At(4, 6), White);
    EXPECT_EQ(At(5, 6), Black);
    EXPECT_EQ(At(9, 6), Black);
    EXPECT_EQ(At(10, 6), White);
    s.RemoveClip();
    s.MoveTo(0, 1);
    s.LineTo(19, 1);
    EXPECT_EQ(At(0, 1), Black);
}

TEST_F(QtSurfaceTest, DottedLineHasTransparentOrOpaqueGaps)
{
    s.SetBrush(TBrushData{clRed, TBrushStyle::bsSolid});
    s.FillRect(TRect{0, 0, 20, 12});
    Pen(clBlack, 1, TPenStyle::psDot);
    s.SetBkMode(TBkMode::bkTransparent);
    s.MoveTo(0, 2);
    s.LineTo(20, 2);
    s.SetBkMode(TBkMode::bkOpaque);
    s.SetBkColor(clWhite);
    s.MoveTo(0, 4);
    s.LineTo(20, 4);
    int blackTransparent = 0, redTransparent = 0, whiteOpaque = 0, redOpaque = 0;
    for (int x = 0; x < 20; ++x) {
        blackTransparent += At(x, 2) == Black;
        redTransparent += At(x, 2) == 0xFFFF0000u;
        whiteOpaque += At(x, 4) == White;
        redOpaque += At(x, 4) == 0xFFFF0000u;
    }
    EXPECT_GT(blackTransparent, 4);
    EXPECT_GT(redTransparent, 4);
    EXPECT_GT(whiteOpaque, 4);
    EXPECT_EQ(redOpaque, 0);
}

TEST_F(QtSurfaceTest, TextAlignmentPlacesTheTextBox)
{
    TFontData f;
    f.Height = -11;
    s.SetFont(f);
    const int w = s.TextWidth("WWW");
    const int h = s.FontHeight();
    ASSERT_GT(w, 0);
    ASSERT_GT(h, 0);
    QtSurfaceImage wide(200, 60, nullptr);
    TSurface& t = wide.Surface();
    t.SetFont(f);
    t.SetBkMode(TBkMode::bkOpaque);
    t.SetBkColor(clBlack);
    t.SetTextAlign(THorizTextAlign::taRight, TVertTextAlign::taBottom);
    t.TextOut(100, 40, "WWW");
    // The opaque background box spans (100 - w, 40 - h) .. (100, 40).
    const QImage& im = wide.Image();
    EXPECT_EQ(im.pixel(100 - w, 40 - h), Black);
    EXPECT_EQ(im.pixel(99, 39), Black);
    EXPECT_EQ(im.pixel(100, 39), White);
    EXPECT_EQ(im.pixel(99, 40), White);
    EXPECT_EQ(im.pixel(100 - w - 1, 39), White);
}

TEST_F(QtSurfaceTest, FontHeightsFollowTheSign)
{
    TFontData f;
    f.Height = -14;
    const QFont q = QtSurface::MakeFont(f);
    EXPECT_EQ(q.pixelSize(), 14);
    f.Height = 16;
    const QFont cell = QtSurface::MakeFont(f);
    EXPECT_NEAR(QFontMetrics(cell).height(), 16, 1);
    f.Style = fsBold | fsItalic;
    const QFont styled = QtSurface::MakeFont(f);
    EXPECT_TRUE(styled.bold());
    EXPECT_TRUE(styled.italic());
}

TEST_F(QtSurfaceTest, SystemColoursComeFromThePalette)
{
    QPalette pal;
    pal.setColor(QPalette::Button, QColor(0x11, 0x22, 0x33));
    pal.setColor(QPalette::Light, QColor(0x44, 0x55, 0x66));
    pal.setColor(QPalette::Dark, QColor(0x77, 0x88, 0x99));
    QtSurface q(&pal);
    EXPECT_EQ(q.ColorToRGB(clBtnFace), RGB(0x11, 0x22, 0x33));
    EXPECT_EQ(q.ColorToRGB(clBtnHighlight), RGB(0x44, 0x55, 0x66));
    EXPECT_EQ(q.ColorToRGB(clBtnShadow), RGB(0x77, 0x88, 0x99));
    EXPECT_EQ(q.ColorToRGB(clRed), clRed);
    // Changed later: resolved at the time of asking.
    pal.setColor(QPalette::Button, QColor(0x01, 0x02, 0x03));
    EXPECT_EQ(q.ColorToRGB(clBtnFace), RGB(0x01, 0x02, 0x03));
    QtSurface none(nullptr);
    EXPECT_EQ(none.ColorToRGB(clBtnFace), DefaultSystemColor(clBtnFace));
}

} // namespace
} // namespace rv
