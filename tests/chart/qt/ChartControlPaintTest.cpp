// Chart1 drawn by the QPainter surface at 953 x 313 (offscreen platform).
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QWheelEvent>

#include <cmath>
#include <stdexcept>

#include "Canvas3D.h"
#include "rangeview/chart/ChartSetup.h"
#include "rangeview/chart/qt/ChartControl.h"
#include "ChartControlFixture.h"

namespace rv {
namespace {

TColor Pixel(const QImage& im, int x, int y)
{
    const QRgb c = im.pixel(x, y);
    return RGB(static_cast<std::uint8_t>(qRed(c)), static_cast<std::uint8_t>(qGreen(c)),
               static_cast<std::uint8_t>(qBlue(c)));
}

class ChartControlTest : public ChartControlFixture {
protected:
    void AddRamp(int count, double slope = 0.5)
    {
        for (int i = 0; i < count; ++i)
            series->AddPoint(i, 30 + slope * (i % 20), "", UseSeriesColor);
        Chart().LeftAxis()->SetMaximum(45);
        Chart().LeftAxis()->SetMinimum(25);
    }
};

TEST_F(ChartControlTest, CreatedAsTheWindowNeedsIt)
{
    EXPECT_EQ(control->objectName(), "Chart1");
    EXPECT_EQ(control->geometry(), QRect(0, 336, 953, 313));
    ASSERT_NE(series, nullptr);
    EXPECT_EQ(Chart().SeriesCount(), 1);
    EXPECT_EQ(Chart().Width(), 953);
    EXPECT_TRUE(control->testAttribute(Qt::WA_OpaquePaintEvent));
    EXPECT_EQ(Chart().FormatSettings.DecimalSeparator,
              QLocale::system().decimalPoint().toStdString());
    EXPECT_EQ(Chart().FormatSettings.ThousandSeparator,
              QLocale::system().groupSeparator().toStdString());
}

TEST_F(ChartControlTest, TitleLineHeightComesFromTheFont)
{
    TRect afterTitle;
    Chart().OnBeforeDrawAxes = [&](TCustomChart*) { afterTitle = Chart().ChartRect(); };
    AddRamp(5);
    RenderChart(*control);
    TFontData f;
    f.Name = "Arial";
    f.Height = -14;
    const int h = QFontMetrics(QtSurface::MakeFont(f)).height();
    EXPECT_EQ(Chart().Title().TitleRect.Top, 20);
    // The layout of the axes follows; the title has moved the top to 20 + h + 5 before that.
    EXPECT_EQ(Chart().Title().TitleRect.Bottom, 20 + h);
    EXPECT_EQ(afterTitle.Top, 20 + h + 5);
}

TEST_F(ChartControlTest, GradientRunsFromWhiteAtTheBottomToB5BCCAAtTheTop)
{
    Chart().SetBevelOuter(TPanelBevel::bvNone);
    Chart().SetBevelInner(TPanelBevel::bvNone);
    Chart().SetBorderWidth(0);
    const QImage im = RenderChart(*control);
    ASSERT_EQ(im.size(), QSize(953, 313));
    for (const int x : {0, 5, 476, 952}) {
        EXPECT_EQ(Pixel(im, x, 312), clWhite) << x;
        EXPECT_EQ(Pixel(im, x, 0), 0xB5BCCAu) << x;
    }
}

TEST_F(ChartControlTest, GradientInsideTheBevelsOfChart1)
{
    const QImage im = RenderChart(*control);
    // Inside the six frame rings the gradient darkens monotonically upward in the margin.
    int previous = 256;
    for (int y = 306; y >= 6; --y) {
        const int red = qRed(im.pixel(3 + 6, y));
        EXPECT_LE(red, previous) << y;
        previous = red;
    }
    EXPECT_GE(qRed(im.pixel(9, 306)), 0xFC);
    EXPECT_LE(std::abs(qRed(im.pixel(9, 6)) - 0xCA), 2);
    EXPECT_LE(std::abs(qBlue(im.pixel(9, 6)) - 0xB5), 2);
}

TEST_F(ChartControlTest, BevelPixelsAreThePaletteColours)
{
    QPalette pal = control->palette();
    pal.setColor(QPalette::Light, QColor(0x10, 0x20, 0x30));
    pal.setColor(QPalette::Dark, QColor(0x40, 0x50, 0x60));
    pal.setColor(QPalette::Button, QColor(0x70, 0x80, 0x90));
    control->setPalette(pal);
    const QImage im = RenderChart(*control);
    const TColor light = RGB(0x10, 0x20, 0x30);
    const TColor dark = RGB(0x40, 0x50, 0x60);
    const TColor face = RGB(0x70, 0x80, 0x90);
    // Outer ring.
    EXPECT_EQ(Pixel(im, 0, 0), light);
    EXPECT_EQ(Pixel(im, 0, 200), light);
    EXPECT_EQ(Pixel(im, 500, 0), light);
    EXPECT_EQ(Pixel(im, 952, 0), dark);
    EXPECT_EQ(Pixel(im, 952, 200), dark);
    EXPECT_EQ(Pixel(im, 500, 312), dark);
    EXPECT_EQ(Pixel(im, 0, 312), dark);
    // Four border rings in the face colour.
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(Pixel(im, i, 200), face) << i;
        EXPECT_EQ(Pixel(im, 952 - i, 200), face) << i;
        EXPECT_EQ(Pixel(im, 500, i), face) << i;
    }
    // Inner bevel at inset 5.
    EXPECT_EQ(Pixel(im, 5, 200), light);
    EXPECT_EQ(Pixel(im, 500, 5), light);
    EXPECT_EQ(Pixel(im, 947, 200), dark);
    EXPECT_EQ(Pixel(im, 500, 307), dark);
    // And the gradient starts right inside.
    EXPECT_NE(Pixel(im, 6, 200), light);
    // Each ring's bottom edge runs right to left and stops on its own left column, so the ring
    // outside keeps its left edge there; the bottom-right corners are the shadow.
    EXPECT_EQ(Pixel(im, 0, 311), light);
    EXPECT_EQ(Pixel(im, 4, 307), face);
    EXPECT_EQ(Pixel(im, 5, 307), dark);
    EXPECT_EQ(Pixel(im, 952, 312), dark);
    EXPECT_EQ(Pixel(im, 947, 307), dark);
}

TEST_F(ChartControlTest, PolylinePixelsAreRed)
{
    AddRamp(150);
    const QImage im = RenderChart(*control);
    int red = 0;
    for (int i = 1; i < 150; ++i) {
        const int x = series->PointPixelX(i);
        const int y = series->PointPixelY(i);
        EXPECT_EQ(Pixel(im, x, y), clRed) << i;
        red += Pixel(im, x, y) == clRed;
    }
    EXPECT_EQ(red, 149);
}

TEST_F(ChartControlTest, NothingOfTheSeriesOutsideTheClipRectangle)
{
    // Points far above and below the range, a window that starts after the first points, and
    // points beyond the right edge: everything outside the plot must be identical to a chart
    // whose line is invisible.
    for (int i = 0; i < 400; ++i)
        series->AddPoint(i, (i % 7 == 0) ? 1e6 : ((i % 11 == 0) ? -1e6 : 35.0), "", UseSeriesColor);
    Chart().BottomAxis()->SetMinimum(100);
    Chart().BottomAxis()->SetMaximum(299.5);
    Chart().LeftAxis()->SetMaximum(40);
    Chart().LeftAxis()->SetMinimum(30);
    const QImage with = RenderChart(*control);
    const TRect cr = Chart().ChartRect();
    series->LinePen().SetVisible(false);
    const QImage without = RenderChart(*control);
    ASSERT_EQ(Chart().ChartRect(), cr);
    const QRect clip(cr.Left + 1, cr.Top + 1, cr.Right - cr.Left - 1, cr.Bottom - cr.Top - 2);
    int differentInside = 0;
    for (int y = 0; y < with.height(); ++y) {
        for (int x = 0; x < with.width(); ++x) {
            if (with.pixel(x, y) == without.pixel(x, y))
                continue;
            if (clip.contains(x, y)) {
                ++differentInside;
            } else {
                ADD_FAILURE() << "series pixel outside the clip rectangle at " << x << ", " << y;
                return;
            }
        }
    }
    EXPECT_GT(differentInside, 100);
    // The line reaches the left and right edges of the plot.
    bool left = false, right = false;
    for (int y = clip.top(); y <= clip.bottom(); ++y) {
        left = left || Pixel(with, clip.left(), y) == clRed;
        right = right || Pixel(with, clip.right(), y) == clRed;
    }
    EXPECT_TRUE(left);
    EXPECT_TRUE(right);
}

TEST_F(ChartControlTest, UncoveringOnlyCopiesTheImage)
{
    AddRamp(50);
    ShowAndPaint();
    control->repaint();
    const auto draws = Chart().FullDrawCount();
    ASSERT_GE(draws, 1);
    ASSERT_FALSE(Chart().Canvas().ImageDirty);
    const QImage first = control->grab().toImage().convertToFormat(QImage::Format_RGB32);
    control->repaint();
    const QImage second = control->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(Chart().FullDrawCount(), draws);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, control->ImageSnapshot());
    // A change redraws on the next paint.
    series->AddPoint(50, 40, "", UseSeriesColor);
    EXPECT_TRUE(Chart().Canvas().ImageDirty);
    control->repaint();
    EXPECT_EQ(Chart().FullDrawCount(), draws + 1);
    control->hide();
}

// A stream is drawn straight into the window's backing store, here at an offset in a window of
// its own: what the screen shows is the picture a draw into an image gives. Once the chart holds
// still, the image is drawn again and copied.
TEST_F(ChartControlTest, AStreamDrawnIntoTheWindowShowsWhatAnImageWould)
{
    QWidget window;
    ChartControl* chart = CreateChart1(&window);
    chart->move(7, 5);
    window.resize(chart->width() + 20, chart->height() + 12);
    window.show();
    for (int i = 0; i < 100 && chart->Chart().FullDrawCount() == 0; ++i) {
        QApplication::processEvents();
        chart->repaint();
    }
    TFastLineSeries& line = *chart->Series1();
    for (int i = 0; i < 40; ++i) {
        line.AddPoint(i, 30 + (i * 7) % 13, "", UseSeriesColor);
        chart->repaint();
    }
    ASSERT_TRUE(chart->Chart().Canvas().ImageBehind());
    const QImage shown = window.screen()
                             ->grabWindow(window.winId(), 7, 5, chart->width(), chart->height())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, chart->ImageSnapshot());
    EXPECT_FALSE(chart->Chart().Canvas().ImageBehind());
    const auto draws = chart->Chart().FullDrawCount();
    chart->repaint();
    EXPECT_EQ(chart->Chart().FullDrawCount(), draws);
}

TEST_F(ChartControlTest, RequestsAreAsynchronousAndMerged)
{
    ShowAndPaint();
    const auto draws = Chart().FullDrawCount();
    for (int i = 0; i < 10; ++i)
        series->AddPoint(i, 35, "", UseSeriesColor);
    EXPECT_EQ(Chart().FullDrawCount(), draws);
    // Right after the first paint the update may be held back for a moment.
    QElapsedTimer waited;
    waited.start();
    while (Chart().FullDrawCount() == draws && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QApplication::processEvents();
    EXPECT_EQ(Chart().FullDrawCount(), draws + 1);
    // The synchronous form draws at once.
    control->RepaintNow();
    EXPECT_EQ(Chart().FullDrawCount(), draws + 2);
    control->hide();
}

TEST_F(ChartControlTest, ZoomRectangleOnTheWindowIsErasedByTheSecondDraw)
{
    ShowAndPaint();
    QApplication::processEvents();
    const QImage before = control->ImageSnapshot();
    const auto draws = Chart().FullDrawCount();
    control->DrawZoomRectangleOnWindow(TRect{100, 80, 300, 200});
    const QImage during = control->ImageSnapshot();
    EXPECT_NE(during, before);
    // Outline only, right and bottom exclusive.
    EXPECT_NE(during.pixel(100, 80), before.pixel(100, 80));
    EXPECT_NE(during.pixel(299, 199), before.pixel(299, 199));
    EXPECT_EQ(during.pixel(300, 199), before.pixel(300, 199));
    EXPECT_EQ(during.pixel(200, 150), before.pixel(200, 150));
    control->DrawZoomRectangleOnWindow(TRect{100, 80, 300, 200});
    EXPECT_EQ(control->ImageSnapshot(), before);
    QApplication::processEvents();
    EXPECT_EQ(Chart().FullDrawCount(), draws);
    control->hide();
}

TEST_F(ChartControlTest, ActiveZoomRectangleSurvivesAFullDraw)
{
    Chart().ActiveZoomRectangle = [](TRect& r) {
        r = TRect{100, 80, 300, 200};
        return true;
    };
    RenderChart(*control);
    const QImage with = control->ImageSnapshot();
    // Erasing it on the window leaves the picture without it.
    control->DrawZoomRectangleOnWindow(TRect{100, 80, 300, 200});
    Chart().ActiveZoomRectangle = nullptr;
    const QImage erased = control->ImageSnapshot();
    RenderChart(*control);
    EXPECT_EQ(erased, control->ImageSnapshot());
    EXPECT_NE(with, erased);
}

TEST_F(ChartControlTest, PaintErrorsAreReportedNotThrown)
{
    int reported = 0;
    control->OnError = [&](std::exception_ptr) { ++reported; };
    series->AddPoint(0, 1, "", UseSeriesColor);
    series->BeforeDrawValues = [](TChartSeries*) { throw std::runtime_error("paint failure"); };
    control->show();
    for (int i = 0; i < 100 && reported == 0; ++i) {
        QApplication::processEvents();
        control->repaint();
    }
    EXPECT_GE(reported, 1);
    EXPECT_TRUE(Chart().Canvas().ImageDirty);
    series->BeforeDrawValues = nullptr;
    control->repaint();
    EXPECT_FALSE(Chart().Canvas().ImageDirty);
    control->hide();
}

class RecordingHandler : public ChartMouseHandler {
public:
    void ChartMousePress(QMouseEvent& e) override
    {
        ++presses;
        last = e.position().toPoint();
    }
    void ChartMouseMove(QMouseEvent&) override { ++moves; }
    void ChartMouseRelease(QMouseEvent&) override { throw std::runtime_error("release failed"); }
    void ChartWheel(QWheelEvent&) override { ++wheels; }
    void ChartMouseLeave() override { ++leaves; }
    int presses = 0, moves = 0, wheels = 0, leaves = 0;
    QPoint last;
};

TEST_F(ChartControlTest, MouseInputGoesToThePluggedHandler)
{
    RecordingHandler handler;
    std::string error;
    control->OnError = [&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            error = ex.what();
        }
    };
    const QPointF at(120, 90);
    QMouseEvent press(QEvent::MouseButtonPress, at, control->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(control.get(), &press);
    EXPECT_EQ(handler.presses, 0); // nothing plugged in yet
    control->SetMouseHandler(&handler);
    QApplication::sendEvent(control.get(), &press);
    EXPECT_EQ(handler.presses, 1);
    EXPECT_EQ(handler.last, QPoint(120, 90));
    QMouseEvent move(QEvent::MouseMove, at, control->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(control.get(), &move);
    EXPECT_EQ(handler.moves, 1);
    QMouseEvent release(QEvent::MouseButtonRelease, at, control->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(control.get(), &release);
    EXPECT_EQ(error, "release failed");
    QWheelEvent wheel(at, control->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(control.get(), &wheel);
    EXPECT_EQ(handler.wheels, 1);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(control.get(), &leave);
    EXPECT_EQ(handler.leaves, 1);
    control->SetMouseHandler(nullptr);
}

} // namespace
} // namespace rv
