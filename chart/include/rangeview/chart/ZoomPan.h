#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "rangeview/chart/Axis.h"
#include "rangeview/chart/Chart.h"
#include "rangeview/chart/Geometry.h"
#include "rangeview/chart/Series.h"

namespace rv {

// Cursor identifiers of the control (0 is the platform's default arrow).
using TCursor = std::int32_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;

enum class TMouseButton : std::uint8_t { mbLeft, mbRight, mbMiddle };

// Keys and buttons held during a mouse event.
using TShiftState = std::uint8_t;
constexpr TShiftState ssShift = 0x01;
constexpr TShiftState ssAlt = 0x02;
constexpr TShiftState ssCtrl = 0x04;
constexpr TShiftState ssLeft = 0x08;
constexpr TShiftState ssRight = 0x10;
constexpr TShiftState ssMiddle = 0x20;
constexpr TShiftState ssDouble = 0x40;

// The drag record of a zoom or a pan: anchor (X0, Y0) and last position taken (X1, Y1).
struct TZoomPanningRecord {
    bool Active = false;
    std::int32_t X0 = 0;
    std::int32_t Y0 = 0;
    std::int32_t X1 = 0;
    std::int32_t Y1 = 0;

    void Activate(std::int32_t x, std::int32_t y)
    {
        X0 = X1 = x;
        Y0 = Y1 = y;
        Active = true;
    }
    // Normalises so that the anchor is the top-left corner.
    void Check();
    // Anchor to current point, as the rubber band is drawn.
    TRect Rect() const { return TRect{X0, Y0, X1, Y1}; }
};

// One axis's scale as kept for undo.
struct TAxisSavedScales {
    bool Automatic = true;
    bool AutomaticMinimum = true;
    bool AutomaticMaximum = true;
    double Minimum = 0.0;
    double Maximum = 0.0;
};

// The component's mouse settings, fixed at start-up.
struct TZoomPanSettings {
    double AnimatedZoomFactor = 3.0;
    TMouseButton ZoomMouseButton = TMouseButton::mbLeft;
    TMouseButton PanMouseButton = TMouseButton::mbRight;
    TShiftState ZoomKeys = 0;
    TShiftState PanKeys = 0;
};

enum class TChartClickedPartStyle : std::uint8_t {
    cpNone,
    cpLegend,
    cpAxis,
    cpSeries,
    cpTitle,
    cpFoot,
    cpChartRect
};

// What a mouse position is over, as the zoom and scroll handling asks it.
struct TChartClickedPart {
    TChartClickedPartStyle Part = TChartClickedPartStyle::cpNone;
    std::int32_t PointIndex = -1;
    TChartSeries* ASeries = nullptr;
    TCustomChartAxis* AAxis = nullptr;
};

using TAllowScrollEvent =
    std::function<void(TCustomChartAxis* Sender, double& AMin, double& AMax, bool& AllowScroll)>;
using TChartClickAxisEvent =
    std::function<void(TCustomChart* Sender, TCustomChartAxis* Axis, TMouseButton Button,
                       TShiftState Shift, std::int32_t X, std::int32_t Y)>;
using TChartClickEvent = std::function<void(TCustomChart* Sender, TMouseButton Button,
                                            TShiftState Shift, std::int32_t X, std::int32_t Y)>;

// What the interaction needs of the control window besides the chart.
class IZoomPanWindow {
public:
    virtual ~IZoomPanWindow() = default;
    // Not-xor outline straight onto what the window shows, without a chart redraw; drawing the
    // same rectangle twice restores the pixels.
    virtual void DrawZoomRectangleOnWindow(const TRect& r) = 0;
    virtual void SetCursor(TCursor cursor) = 0;
};

// Mouse zoom, undo zoom, panning and wheel scrolling of one chart. Lives beside the painter:
// the control forwards its mouse notifications here, and the chart asks it for the rubber band
// at the end of each full draw. Not copyable (the chart holds a callback into it).
class TZoomPanInteraction {
public:
    // window may be null (no rubber band feedback, cursor changes dropped).
    explicit TZoomPanInteraction(TCustomChart& chart, IZoomPanWindow* window = nullptr);
    virtual ~TZoomPanInteraction();
    TZoomPanInteraction(const TZoomPanInteraction&) = delete;
    TZoomPanInteraction& operator=(const TZoomPanInteraction&) = delete;

    TCustomChart& Chart() const { return Chart_; }
    void SetWindow(IZoomPanWindow* window) { Window_ = window; }

    // --- platform notifications ----------------------------------------------------------
    void MouseDown(TMouseButton Button, TShiftState Shift, std::int32_t X, std::int32_t Y);
    void MouseMove(TShiftState Shift, std::int32_t X, std::int32_t Y);
    void MouseUp(TMouseButton Button, TShiftState Shift, std::int32_t X, std::int32_t Y);
    // Positive counts are notches down (toward the user), negative up.
    void MouseWheel(std::int32_t NotchesDown);
    void MouseLeave();

    // --- replaceable operations -------------------------------------------------------------
    // Applies the zoom record's rectangle to the four standard axes.
    virtual void ZoomRect();
    // Restores the scales saved before the first zoom or pan.
    virtual void UndoZoom();

    // The part at (X, Y) as the last paint left the chart.
    TChartClickedPart CalcClickedPart(std::int32_t X, std::int32_t Y) const;

    // --- state -------------------------------------------------------------------------------
    TZoomPanningRecord Zoom;
    TZoomPanningRecord Panning;
    // True while no zoom or pan happened since the last undo.
    bool RestoredAxisScales() const { return Restored_; }
    // Saved scales in the order top, bottom, left, right.
    const std::array<TAxisSavedScales, 4>& SavedScales() const { return Saved_; }
    // Set by a click handler to stop the chart's own processing of the press.
    bool CancelMouse = false;
    // The control's cursor when it was created; moves without a drag return to it.
    TCursor OriginalCursor = crDefault;
    TZoomPanSettings Settings;

    // --- events --------------------------------------------------------------------------------
    TChartNotifyEvent OnZoom;
    TChartNotifyEvent OnUndoZoom;
    TChartNotifyEvent OnScroll;
    TAllowScrollEvent OnAllowScroll;
    TChartClickAxisEvent OnClickAxis;
    TChartClickEvent OnClickBackground;

private:
    struct BandQuery;
    void SaveScales();
    // Pans the axes of one orientation from pixel p to q; true when that orientation may move.
    bool PanAxes(bool horizontal, std::int32_t p, std::int32_t q);
    void DrawBand();
    void SetCursor(TCursor cursor);
    // Top, bottom, left, right: the order scales are saved and restored in.
    std::array<TCustomChartAxis*, 4> ScaleAxes() const;

    TCustomChart& Chart_;
    IZoomPanWindow* Window_;
    bool Restored_ = true;
    std::array<TAxisSavedScales, 4> Saved_{};
};

} // namespace rv
