#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "rangeview/chart/AxisPaint.h"
#include "rangeview/chart/Canvas3D.h"
#include "rangeview/chart/Chart.h"
#include "rangeview/chart/Colors.h"
#include "rangeview/chart/Geometry.h"
#include "rangeview/chart/Pens.h"
#include "rangeview/chart/Surface.h"

namespace rv {

class TCustomChart;

enum class TGradientDirection : std::uint8_t {
    gdTopBottom, gdBottomTop, gdLeftRight, gdRightLeft, gdFromCenter, gdFromTopLeft, gdFromBottomLeft
};

// Background gradient of the chart panel.
class TChartGradient {
public:
    TGradientDirection Direction() const { return direction_; }
    void SetDirection(TGradientDirection v);
    TColor StartColor() const { return startColor_; }
    void SetStartColor(TColor v);
    TColor EndColor() const { return endColor_; }
    void SetEndColor(TColor v);
    bool Visible() const { return visible_; }
    void SetVisible(bool v);

    std::function<void()> OnChange;

private:
    void Changed();
    TGradientDirection direction_ = TGradientDirection::gdTopBottom;
    TColor startColor_ = clWhite;
    TColor endColor_ = clYellow;
    bool visible_ = false;
};

enum class TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };

// The chart's title (above the plot) or foot (below it).
class TChartTitle {
public:
    TChartTitle();
    TChartTitle(const TChartTitle&) = delete;
    TChartTitle& operator=(const TChartTitle&) = delete;

    const std::vector<std::string>& Text() const { return text_; }
    void SetText(const std::vector<std::string>& lines);
    TChartFont& Font() { return font_; }
    const TChartFont& Font() const { return font_; }
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment v);
    TColor Color() const { return color_; }
    void SetColor(TColor v);
    TChartBrush& Brush() { return brush_; }
    const TChartBrush& Brush() const { return brush_; }
    TChartPen& Frame() { return frame_; }
    const TChartPen& Frame() const { return frame_; }
    bool AdjustFrame() const { return adjustFrame_; }
    void SetAdjustFrame(bool v);

    // The rectangle the title occupied at the last draw (mouse hit tests).
    TRect TitleRect;

    std::function<void()> OnChange;

private:
    void Changed();
    std::vector<std::string> text_;
    TChartFont font_;
    bool visible_ = true;
    TAlignment alignment_ = TAlignment::taCenter;
    TColor color_ = clDefault;
    TChartBrush brush_{clDefault, TBrushStyle::bsSolid};
    TChartPen frame_{clBlack, 1, TPenStyle::psSolid, false};
    bool adjustFrame_ = true;
};

// Back, left and bottom walls; in the flat view only the back wall is drawn.
class TChartWall {
public:
    TChartWall();
    TChartWall(const TChartWall&) = delete;
    TChartWall& operator=(const TChartWall&) = delete;

    TChartBrush& Brush() { return brush_; }
    const TChartBrush& Brush() const { return brush_; }
    TChartPen& Pen() { return pen_; }
    const TChartPen& Pen() const { return pen_; }
    TColor Color() const { return color_; }
    void SetColor(TColor v);
    std::int32_t Size() const { return size_; }
    void SetSize(std::int32_t v);
    bool Dark3D() const { return dark3D_; }
    void SetDark3D(bool v);

    std::function<void()> OnChange;

private:
    void Changed();
    TChartBrush brush_{clDefault, TBrushStyle::bsClear};
    TChartPen pen_;
    TColor color_ = clDefault;
    std::int32_t size_ = 0;
    bool dark3D_ = true;
};

// Only its visibility: this chart draws no legend.
class TChartLegend {
public:
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    std::function<void()> OnChange;

private:
    bool visible_ = true;
};

enum class TPanningMode : std::uint8_t { pmNone, pmHorizontal, pmVertical, pmBoth };

using TChartNotifyEvent = std::function<void(TCustomChart* Sender)>;

// The painting chart: background, bevels, titles, walls, axes, series and the zoom rectangle,
// drawn through its TCanvas3D into an off-screen image.
class TCustomChart : public TCustomAxisPanel {
public:
    TCustomChart();
    ~TCustomChart() override;

    TChartGradient& Gradient() { return gradient_; }
    TChartTitle& Title() { return title_; }
    TChartTitle& Foot() { return foot_; }
    TChartWall& BackWall() { return backWall_; }
    TChartWall& LeftWall() { return leftWall_; }
    TChartWall& BottomWall() { return bottomWall_; }
    TChartLegend& Legend() { return legend_; }
    // The frame around the plotting area is the back wall's pen.
    TChartPen& Frame() { return backWall_.Pen(); }
    TCanvas3D& Canvas() { return canvas_; }

    // Zoom and scrolling options; the mouse handling reads them.
    bool AllowZoom = true;
    TPanningMode AllowPanning = TPanningMode::pmBoth;
    bool AnimatedZoom = false;
    std::int32_t AnimatedZoomSteps = 8;

    // Printing is not supported; while set, paints do nothing.
    bool Printing = false;

    // --- repainting ---------------------------------------------------------------------------
    // Marks the image dirty, then asks the control for a paint.
    void Invalidate() override;
    void Repaint() override;
    // The control's paint: copies the image when it is clean, otherwise a full draw on the
    // canvas's own surface over (0, 0, Width, Height).
    void PaintHandler();
    // Full draw on target within rect.
    void Draw(TSurface& target, const TRect& rect);
    // Number of full draws so far.
    std::int64_t FullDrawCount() const { return fullDraws_; }

    // --- zoom rectangle -----------------------------------------------------------------------
    // Not-xor outline from (r.Left, r.Top) to (r.Right, r.Bottom) (either order), right and
    // bottom excluded, on the canvas's current surface; drawing it twice restores the pixels.
    void DrawZoomRectangle(const TRect& r);
    // Asked at the end of every full draw: true and the rectangle while a zoom drag is active.
    std::function<bool(TRect& r)> ActiveZoomRectangle;

    // --- events -------------------------------------------------------------------------------
    TChartNotifyEvent OnBeforeDrawAxes;
    TChartNotifyEvent OnBeforeDrawSeries;
    TChartNotifyEvent OnAfterDraw;

    // Label positions each axis recorded in the last paint (index as in AxesList()).
    const TTickPositions& TickPositions(std::size_t axisIndex) const { return ticks_[axisIndex]; }

    // A fast line with AutoRepaint off: its new segment goes straight onto the image.
    void DrawNewValueNow(TChartSeries& series, std::int32_t index) override;

protected:
    // The fixed drawing sequence over the panel rectangle.
    virtual void DrawChart(const TRect& panelRect);
    void PaintBackground(const TRect& panelRect);
    void PaintBevels(const TRect& panelRect);
    void DrawTitle(TChartTitle& title, bool foot);
    void DrawBackWall();
    void DrawSeries(TChartSeries& series);
    void DrawAxes();
    // The rectangle series are clipped to.
    TRect SeriesClipRect() const;

private:
    void InitialChartRect();
    void HookChanges();

    TCanvas3D canvas_;
    TChartGradient gradient_;
    TChartTitle title_;
    TChartTitle foot_;
    TChartWall backWall_;
    TChartWall leftWall_;
    TChartWall bottomWall_;
    TChartLegend legend_;
    std::array<TTickPositions, 5> ticks_{};
    std::int64_t fullDraws_ = 0;
};

class TChart : public TCustomChart {
public:
    TChart() = default;
};

// Module-level drawing settings.
constexpr std::int32_t TitleSpacing = 5;
constexpr bool DrawAxesBeforeSeries = true;

} // namespace rv
