// Mouse zoom, undo, panning and wheel on Chart1, driven by synthetic Qt events (offscreen).
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

#include <memory>
#include <stdexcept>
#include <vector>

#include "rangeview/chart/qt/ChartControl.h"
#include "rangeview/chart/qt/ChartInteraction.h"

namespace rv {
namespace {

struct Range {
    double Min;
    double Max;
    friend bool operator==(const Range&, const Range&) = default;
};

std::ostream& operator<<(std::ostream& os, const Range& r)
{
    return os << r.Min << ".." << r.Max;
}

Range RangeOf(const TCustomChartAxis& a)
{
    return Range{a.Minimum(), a.Maximum()};
}

// Chart1 inside a larger window, the way the main window holds it, so the mouse can travel
// outside the control while staying in the window. Events are sent to the window, which is where
// the window system delivers them; Qt then routes them (including its implicit grab).
class ZoomPanQt : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(1000, 700);
        control = CreateChart1(window.get());
        series = control->Series1();
        for (int i = 0; i < 200; ++i)
            series->AddPoint(i, 20 + (i % 2), "", UseSeriesColor);
        Left().SetMaximum(100);
        Left().SetMinimum(0);
        control->OnError = [this](std::exception_ptr) { ++errors; };
        window->show();
        QApplication::processEvents();
        control->repaint();
        ASSERT_GT(Chart().FullDrawCount(), 0);
        ASSERT_TRUE(Chart().ChartRect().Contains(100, 100));
        ASSERT_TRUE(Chart().ChartRect().Contains(160, 160));
        interaction = dynamic_cast<ChartInteraction*>(control->MouseHandler());
        ASSERT_NE(interaction, nullptr);
    }
    void TearDown() override { window.reset(); }

    TChart& Chart() { return control->Chart(); }
    TChartAxis& Bottom() { return *Chart().BottomAxis(); }
    TChartAxis& Left() { return *Chart().LeftAxis(); }
    TZoomPanInteraction& Zp() { return interaction->ZoomPan(); }

    // (x, y) in the control's coordinates.
    void Mouse(QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        const QPointF inWindow = QPointF(control->mapTo(window.get(), QPoint(x, y)));
        QMouseEvent ev(type, inWindow, inWindow, QPointF(window->mapToGlobal(inWindow.toPoint())),
                       button, buttons, Qt::NoModifier);
        QApplication::sendEvent(window->windowHandle(), &ev);
    }
    void Press(Qt::MouseButton b, int x, int y)
    {
        Mouse(QEvent::MouseButtonPress, x, y, b, held |= b);
    }
    void Move(int x, int y) { Mouse(QEvent::MouseMove, x, y, Qt::NoButton, held); }
    void Release(Qt::MouseButton b, int x, int y)
    {
        Mouse(QEvent::MouseButtonRelease, x, y, b, held &= ~b);
    }
    void Drag(Qt::MouseButton b, int x0, int y0, int x1, int y1)
    {
        Press(b, x0, y0);
        Move(x1, y1);
        Release(b, x1, y1);
        QApplication::processEvents();
    }
    void Wheel(int angle)
    {
        const QPointF inWindow = QPointF(control->mapTo(window.get(), QPoint(200, 150)));
        QWheelEvent ev(inWindow, QPointF(window->mapToGlobal(inWindow.toPoint())), QPoint(),
                       QPoint(0, angle), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(window->windowHandle(), &ev);
    }

    std::unique_ptr<QWidget> window;
    ChartControl* control = nullptr;
    TFastLineSeries* series = nullptr;
    ChartInteraction* interaction = nullptr;
    Qt::MouseButtons held = Qt::NoButton;
    int errors = 0;
};

TEST_F(ZoomPanQt, ZoomAndUndoThresholds)
{
    Chart().AnimatedZoom = false;
    const Range b0 = RangeOf(Bottom()), l0 = RangeOf(Left());
    const Range zb{Bottom().PixelToValue(100), Bottom().PixelToValue(117)};
    const Range zl{Left().PixelToValue(117), Left().PixelToValue(100)};
    Drag(Qt::LeftButton, 100, 100, 117, 117);
    EXPECT_EQ(RangeOf(Bottom()), zb);
    EXPECT_EQ(RangeOf(Left()), zl);

    const Range b1 = RangeOf(Bottom());
    Drag(Qt::LeftButton, 100, 100, 116, 200);
    EXPECT_EQ(RangeOf(Bottom()), b1);

    Drag(Qt::LeftButton, 100, 100, 83, 83);
    EXPECT_EQ(RangeOf(Bottom()), b0);
    EXPECT_EQ(RangeOf(Left()), l0);

    Drag(Qt::LeftButton, 100, 100, 117, 117);
    ASSERT_NE(RangeOf(Bottom()), b0);
    Drag(Qt::LeftButton, 100, 100, 200, 50);
    EXPECT_EQ(RangeOf(Bottom()), b0);
    EXPECT_EQ(RangeOf(Left()), l0);
    EXPECT_EQ(errors, 0);
}

TEST_F(ZoomPanQt, AnimatedZoomPaintsSevenStepsThenTheTarget)
{
    ASSERT_TRUE(Chart().AnimatedZoom);
    const Range target{Bottom().PixelToValue(100), Bottom().PixelToValue(160)};
    std::vector<Range> drawn;
    Chart().OnAfterDraw = [&](TCustomChart*) { drawn.push_back(RangeOf(Bottom())); };
    int zooms = 0;
    Zp().OnZoom = [&](TCustomChart*) { ++zooms; };
    Drag(Qt::LeftButton, 100, 100, 160, 160);
    // The target's own paint is an ordinary request: right after the steps it may be held
    // back for a moment.
    QElapsedTimer waited;
    waited.start();
    while (drawn.size() < 8 && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    QApplication::processEvents();
    ASSERT_EQ(drawn.size(), 8u);
    Range expect{0, 199};
    for (std::size_t k = 0; k < 7; ++k) {
        expect = Range{expect.Min + (target.Min - expect.Min) / 3,
                       expect.Max - (expect.Max - target.Max) / 3};
        EXPECT_DOUBLE_EQ(drawn[k].Min, expect.Min) << k;
        EXPECT_DOUBLE_EQ(drawn[k].Max, expect.Max) << k;
    }
    EXPECT_EQ(drawn[7], target);
    EXPECT_EQ(zooms, 1);
}

TEST_F(ZoomPanQt, TwoZoomsThenUndoRestoreTheFirstSavedScales)
{
    Chart().AnimatedZoom = false;
    const Range b0 = RangeOf(Bottom()), l0 = RangeOf(Left());
    Drag(Qt::LeftButton, 100, 100, 400, 250);
    Drag(Qt::LeftButton, 120, 120, 300, 200);
    EXPECT_FALSE(Chart().TopAxis()->Automatic());
    Drag(Qt::LeftButton, 300, 250, 100, 100);
    EXPECT_EQ(RangeOf(Bottom()), b0);
    EXPECT_EQ(RangeOf(Left()), l0);
    EXPECT_FALSE(Bottom().Automatic());
    EXPECT_TRUE(Chart().TopAxis()->Automatic());
    EXPECT_TRUE(Chart().RightAxis()->AutomaticMinimum());
}

TEST_F(ZoomPanQt, UndoWithNothingSavedChangesNoRange)
{
    Bottom().SetRange(10, 60);
    control->repaint();
    Drag(Qt::LeftButton, 200, 200, 100, 100);
    EXPECT_EQ(RangeOf(Bottom()), (Range{10, 60}));
    EXPECT_EQ(RangeOf(Left()), (Range{0, 100}));
}

TEST_F(ZoomPanQt, WherePressesStartADrag)
{
    const TRect t = Chart().Title().TitleRect;
    for (QPoint p : {QPoint((t.Left + t.Right) / 2, (t.Top + t.Bottom) / 2), QPoint(0, 150),
                     QPoint(3, 150), QPoint(476, 0), QPoint(952, 312)}) {
        Press(Qt::LeftButton, p.x(), p.y());
        EXPECT_FALSE(Zp().Zoom.Active) << p.x() << "," << p.y();
        Release(Qt::LeftButton, p.x(), p.y());
        Press(Qt::RightButton, p.x(), p.y());
        EXPECT_FALSE(Zp().Panning.Active) << p.x() << "," << p.y();
        Release(Qt::RightButton, p.x(), p.y());
    }
    const TChartAxis& left = Left();
    const int lx =
        left.LabelAnchor < left.AxisLinePos ? left.LabelAnchor + 1 : left.LabelAnchor - 2;
    const int ly = (left.StartPixel + left.EndPixel) / 2;
    Press(Qt::LeftButton, lx, ly);
    EXPECT_TRUE(Zp().Zoom.Active);
    Release(Qt::LeftButton, lx, ly);

    series->SetActive(false);
    control->repaint();
    Press(Qt::LeftButton, 100, 100);
    EXPECT_FALSE(Zp().Zoom.Active);
    Release(Qt::LeftButton, 100, 100);
    Press(Qt::RightButton, 100, 100);
    EXPECT_FALSE(Zp().Panning.Active);
    Release(Qt::RightButton, 100, 100);
}

TEST_F(ZoomPanQt, BandOnTheImageWithoutRedrawAndReleaseOutsideTheControl)
{
    Chart().AnimatedZoom = false;
    const QImage clean = control->ImageSnapshot();
    const auto draws = Chart().FullDrawCount();
    Press(Qt::LeftButton, 100, 100);
    Move(150, 140);
    QApplication::processEvents();
    const QImage during = control->ImageSnapshot();
    EXPECT_NE(during.pixel(100, 120), clean.pixel(100, 120));
    EXPECT_NE(during.pixel(149, 139), clean.pixel(149, 139));
    EXPECT_EQ(during.pixel(125, 120), clean.pixel(125, 120));
    EXPECT_EQ(Chart().FullDrawCount(), draws);
    // Below the control, in the window: the grab keeps the events coming to the chart.
    const int below = control->height() + 30;
    Move(400, below);
    EXPECT_EQ(Zp().Zoom.X1, 400);
    EXPECT_EQ(Zp().Zoom.Y1, below);
    const Range target{Bottom().PixelToValue(100), Bottom().PixelToValue(400)};
    Release(Qt::LeftButton, 400, below);
    EXPECT_FALSE(Zp().Zoom.Active);
    EXPECT_EQ(RangeOf(Bottom()), target);
    EXPECT_EQ(errors, 0);
}

TEST_F(ZoomPanQt, SmallDragLeavesTheImageAsItWas)
{
    const QImage clean = control->ImageSnapshot();
    Drag(Qt::LeftButton, 100, 100, 110, 300);
    EXPECT_EQ(control->ImageSnapshot(), clean);
}

TEST_F(ZoomPanQt, PanLeavingThePlotStopsForGood)
{
    const TRect cr = Chart().ChartRect();
    Press(Qt::RightButton, 100, 100);
    Move(110, 100);
    const Range b1 = RangeOf(Bottom());
    ASSERT_NE(b1, (Range{0, 199}));
    Move(cr.Right + 5, 100);
    EXPECT_FALSE(Zp().Panning.Active);
    Move(120, 100);
    Move(140, 100);
    Release(Qt::RightButton, 140, 100);
    EXPECT_EQ(RangeOf(Bottom()), b1);
}

TEST_F(ZoomPanQt, TenPixelRightDragShiftsTowardLowerValues)
{
    const double w = Bottom().PixelToValue(110) - Bottom().PixelToValue(100);
    Drag(Qt::RightButton, 100, 100, 110, 100);
    EXPECT_DOUBLE_EQ(Bottom().Minimum(), -w);
    EXPECT_DOUBLE_EQ(Bottom().Maximum(), 199 - w);
    control->repaint();
    Drag(Qt::RightButton, 110, 100, 100, 100);
    EXPECT_NEAR(Bottom().Minimum(), 0, 1e-9);
    EXPECT_NEAR(Bottom().Maximum(), 199, 1e-9);
}

TEST_F(ZoomPanQt, HorizontalPanningIgnoresVerticalMovement)
{
    Chart().AllowPanning = TPanningMode::pmHorizontal;
    int scrolls = 0;
    Zp().OnScroll = [&](TCustomChart*) { ++scrolls; };
    Drag(Qt::RightButton, 100, 100, 100, 150);
    EXPECT_EQ(scrolls, 0);
    EXPECT_EQ(RangeOf(Left()), (Range{0, 100}));
    EXPECT_EQ(RangeOf(Bottom()), (Range{0, 199}));
}

TEST_F(ZoomPanQt, WheelNotchesScrollTheVerticalAxes)
{
    Wheel(-120);
    EXPECT_EQ(RangeOf(Left()), (Range{3, 103}));
    EXPECT_EQ(RangeOf(Bottom()), (Range{0, 199}));
    Left().SetRange(0, 100);
    Wheel(120);
    EXPECT_DOUBLE_EQ(Left().Minimum(), -3);
    EXPECT_DOUBLE_EQ(Left().Maximum(), 97);
    // Fractions of a notch add up.
    Left().SetRange(0, 100);
    Wheel(-60);
    EXPECT_EQ(RangeOf(Left()), (Range{0, 100}));
    Wheel(-60);
    EXPECT_EQ(RangeOf(Left()), (Range{3, 103}));
}

TEST_F(ZoomPanQt, RightButtonDuringAZoomDragDoesNothing)
{
    Chart().AnimatedZoom = false;
    Press(Qt::LeftButton, 100, 100);
    Move(130, 130);
    Press(Qt::RightButton, 130, 130);
    EXPECT_FALSE(Zp().Panning.Active);
    Move(150, 150);
    Release(Qt::RightButton, 150, 150);
    EXPECT_TRUE(Zp().Zoom.Active);
    EXPECT_EQ(RangeOf(Bottom()), (Range{0, 199}));
    Release(Qt::LeftButton, 150, 150);
    EXPECT_FALSE(Zp().Zoom.Active);
    EXPECT_NE(RangeOf(Bottom()), (Range{0, 199}));
}

TEST_F(ZoomPanQt, LeaveEndsAPanButNotAZoom)
{
    Press(Qt::RightButton, 100, 100);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(control, &leave);
    EXPECT_FALSE(Zp().Panning.Active);
    Release(Qt::RightButton, 100, 100);
    Press(Qt::LeftButton, 100, 100);
    QApplication::sendEvent(control, &leave);
    EXPECT_TRUE(Zp().Zoom.Active);
    Release(Qt::LeftButton, 100, 100);
}

TEST_F(ZoomPanQt, SeriesCursorOnIdleMoves)
{
    series->Cursor = crHandPoint;
    Move(series->PointPixelX(40), series->PointPixelY(40));
    EXPECT_EQ(control->cursor().shape(), Qt::PointingHandCursor);
    Move(100, 100);
    EXPECT_FALSE(control->testAttribute(Qt::WA_SetCursor));
}

TEST_F(ZoomPanQt, DoubleClickPressCountsAsAPress)
{
    std::vector<bool> doubles;
    Zp().OnClickBackground = [&](TCustomChart*, TMouseButton, TShiftState s, int, int) {
        doubles.push_back((s & ssDouble) != 0);
    };
    Press(Qt::LeftButton, 100, 100);
    Release(Qt::LeftButton, 100, 100);
    Mouse(QEvent::MouseButtonDblClick, 100, 100, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(doubles, (std::vector<bool>{false, true}));
    EXPECT_TRUE(Zp().Zoom.Active);
    Mouse(QEvent::MouseButtonRelease, 100, 100, Qt::LeftButton, Qt::NoButton);
}

TEST_F(ZoomPanQt, HandlerErrorsStayOutOfTheEventLoop)
{
    Chart().AnimatedZoom = false;
    Zp().OnZoom = [](TCustomChart*) { throw std::runtime_error("zoom failed"); };
    Drag(Qt::LeftButton, 100, 100, 160, 160);
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(Zp().Zoom.Active);
    Drag(Qt::RightButton, 100, 100, 120, 100);
    EXPECT_EQ(errors, 1);
}

} // namespace
} // namespace rv
