#pragma once

#include <Qt>

#include <cstdint>

#include "rangeview/chart/ZoomPan.h"
#include "rangeview/chart/qt/ChartControl.h"

class QMouseEvent;

namespace rv {

// Connects a ChartControl's mouse input to the chart's zoom and pan handling: translates the
// Qt events and gives the interaction the control as its window (rubber band on the shown
// image, cursor). Owned by the control it serves (see AttachChartInteraction), so it never
// outlives the chart. Qt's implicit grab keeps moves and the release coming while a button is
// held, even outside the control.
class ChartInteraction final : public ChartMouseHandler, public IZoomPanWindow {
public:
    explicit ChartInteraction(ChartControl& control);
    ~ChartInteraction() override;

    TZoomPanInteraction& ZoomPan() { return ZoomPan_; }

    // --- ChartMouseHandler --------------------------------------------------------------------
    void ChartMousePress(QMouseEvent& event) override;
    void ChartMouseMove(QMouseEvent& event) override;
    void ChartMouseRelease(QMouseEvent& event) override;
    void ChartWheel(QWheelEvent& event) override;
    void ChartMouseLeave() override;

    // --- IZoomPanWindow ---------------------------------------------------------------------
    void DrawZoomRectangleOnWindow(const TRect& r) override;
    void SetCursor(TCursor cursor) override;

    // Qt's buttons and keyboard modifiers as held keys (ssDouble for a double-click press).
    static TShiftState ShiftStateOf(const QMouseEvent& event);
    // False for buttons the chart does not know.
    static bool MouseButtonOf(Qt::MouseButton button, TMouseButton& result);
    static Qt::CursorShape CursorShapeOf(TCursor cursor);

private:
    ChartControl& Control_;
    TZoomPanInteraction ZoomPan_;
    TCursor Cursor_ = crDefault;
    // Wheel travel not yet making a whole notch (high-resolution wheels send fractions).
    std::int32_t WheelRemainder_ = 0;
};

// Gives the control a zoom and pan handler it owns; returns it.
ChartInteraction& AttachChartInteraction(ChartControl& control);

} // namespace rv
