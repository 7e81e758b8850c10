#include "rangeview/chart/qt/ChartInteraction.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPoint>
#include <QWheelEvent>

#include <memory>

namespace rv {

namespace {

// One notch of a standard wheel, in Qt's eighths of a degree.
constexpr std::int32_t WheelNotch = 120;

QPoint PositionOf(const QMouseEvent& event)
{
    return event.position().toPoint();
}

} // namespace

ChartInteraction::ChartInteraction(ChartControl& control)
    : Control_(control), ZoomPan_(control.Chart(), this)
{
    // The control has no cursor of its own when it is made: the default is the initial one.
    ZoomPan_.OriginalCursor = crDefault;
}

ChartInteraction::~ChartInteraction()
{
    ZoomPan_.SetWindow(nullptr);
    if (Control_.MouseHandler() == this)
        Control_.SetMouseHandler(nullptr);
}

TShiftState ChartInteraction::ShiftStateOf(const QMouseEvent& event)
{
    TShiftState s = 0;
    const Qt::KeyboardModifiers mods = event.modifiers();
    if (mods & Qt::ShiftModifier)
        s |= ssShift;
    if (mods & Qt::AltModifier)
        s |= ssAlt;
    if (mods & Qt::ControlModifier)
        s |= ssCtrl;
    const Qt::MouseButtons buttons = event.buttons();
    if (buttons & Qt::LeftButton)
        s |= ssLeft;
    if (buttons & Qt::RightButton)
        s |= ssRight;
    if (buttons & Qt::MiddleButton)
        s |= ssMiddle;
    if (event.type() == QEvent::MouseButtonDblClick)
        s |= ssDouble;
    return s;
}

bool ChartInteraction::MouseButtonOf(Qt::MouseButton button, TMouseButton& result)
{
    switch (button) {
    case Qt::LeftButton:
        result = TMouseButton::mbLeft;
        return true;
    case Qt::RightButton:
        result = TMouseButton::mbRight;
        return true;
    case Qt::MiddleButton:
        result = TMouseButton::mbMiddle;
        return true;
    default:
        return false;
    }
}

Qt::CursorShape ChartInteraction::CursorShapeOf(TCursor cursor)
{
    switch (cursor) {
    case crCross:
        return Qt::CrossCursor;
    case crIBeam:
        return Qt::IBeamCursor;
    case crSizeNS:
        return Qt::SizeVerCursor;
    case crSizeWE:
        return Qt::SizeHorCursor;
    case crHandPoint:
        return Qt::PointingHandCursor;
    case crSizeAll:
        return Qt::SizeAllCursor;
    default:
        return Qt::ArrowCursor;
    }
}

// A double-click's second press reaches here too (QWidget's default double-click handling
// passes it on as a press), and counts as a press with ssDouble set.
void ChartInteraction::ChartMousePress(QMouseEvent& event)
{
    TMouseButton button{};
    if (!MouseButtonOf(event.button(), button))
        return;
    const QPoint p = PositionOf(event);
    ZoomPan_.MouseDown(button, ShiftStateOf(event), p.x(), p.y());
}

void ChartInteraction::ChartMouseMove(QMouseEvent& event)
{
    const QPoint p = PositionOf(event);
    ZoomPan_.MouseMove(ShiftStateOf(event), p.x(), p.y());
}

void ChartInteraction::ChartMouseRelease(QMouseEvent& event)
{
    TMouseButton button{};
    if (!MouseButtonOf(event.button(), button))
        return;
    const QPoint p = PositionOf(event);
    ZoomPan_.MouseUp(button, ShiftStateOf(event), p.x(), p.y());
}

// Qt gives wheel turns to the widget under the mouse, so the chart scrolls when hovered
// without needing the keyboard focus (which the window never gives it).
void ChartInteraction::ChartWheel(QWheelEvent& event)
{
    // Only the vertical wheel scrolls; a positive delta is a turn away from the user (up).
    // Fractions of a notch add up until they make a whole one.
    const std::int64_t travel = std::int64_t{WheelRemainder_} + event.angleDelta().y();
    const std::int64_t notchesUp = travel / WheelNotch;
    WheelRemainder_ = static_cast<std::int32_t>(travel - notchesUp * WheelNotch);
    if (notchesUp != 0)
        ZoomPan_.MouseWheel(static_cast<std::int32_t>(-notchesUp));
}

void ChartInteraction::ChartMouseLeave()
{
    ZoomPan_.MouseLeave();
}

void ChartInteraction::DrawZoomRectangleOnWindow(const TRect& r)
{
    Control_.DrawZoomRectangleOnWindow(r);
}

void ChartInteraction::SetCursor(TCursor cursor)
{
    // Idle moves ask on every event; only a change touches the widget.
    if (cursor == Cursor_)
        return;
    Cursor_ = cursor;
    if (cursor == crDefault)
        Control_.unsetCursor();
    else
        Control_.setCursor(QCursor(CursorShapeOf(cursor)));
}

ChartInteraction& AttachChartInteraction(ChartControl& control)
{
    auto handler = std::make_unique<ChartInteraction>(control);
    ChartInteraction& result = *handler;
    control.AdoptMouseHandler(std::move(handler));
    return result;
}

} // namespace rv
