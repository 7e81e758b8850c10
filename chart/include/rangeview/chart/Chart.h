#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rangeview/chart/Axis.h"
#include "rangeview/chart/Colors.h"
#include "rangeview/chart/Geometry.h"
#include "rangeview/chart/NumberFormat.h"
#include "rangeview/chart/Pens.h"
#include "rangeview/chart/Series.h"
#include "rangeview/chart/TextMeasure.h"

namespace rv {

enum class TPanelBevel : std::uint8_t { bvNone, bvLowered, bvRaised, bvSpace };

using TAxisLabelEvent = std::function<void(TCustomChartAxis* Sender, TChartSeries* Series,
                                           std::int32_t ValueIndex, std::string& LabelText)>;

// The chart's inner layers: the bevelled panel, its axes and series, the margins, the chart
// bounds and chart rectangle, and the layout of the plot area. The painting chart derives from it.
class TCustomAxisPanel {
public:
    TCustomAxisPanel();
    virtual ~TCustomAxisPanel();
    TCustomAxisPanel(const TCustomAxisPanel&) = delete;
    TCustomAxisPanel& operator=(const TCustomAxisPanel&) = delete;

    // --- axes (list order: bottom, top, left, right, depth) ------------------------------------
    TChartAxis* BottomAxis() const { return bottomAxis_.get(); }
    TChartAxis* TopAxis() const { return topAxis_.get(); }
    TChartAxis* LeftAxis() const { return leftAxis_.get(); }
    TChartAxis* RightAxis() const { return rightAxis_.get(); }
    TChartDepthAxis* DepthAxis() const { return depthAxis_.get(); }
    const std::array<TCustomChartAxis*, 5>& AxesList() const { return axes_; }
    // AxisVisible, the axis' own Visible and the series rule.
    virtual bool IsAxisVisible(const TCustomChartAxis& axis) const;

    // --- series -----------------------------------------------------------------------------
    const std::vector<TChartSeries*>& SeriesList() const { return series_; }
    std::int32_t SeriesCount() const { return static_cast<std::int32_t>(series_.size()); }
    TChartSeries* Series(std::int32_t index) const;
    // Same as series->SetParentChart(this) / (nullptr).
    void AddSeries(TChartSeries* series);
    void RemoveSeries(TChartSeries* series);
    // Attaches the series and keeps it alive as long as the chart.
    template <class T> T* AdoptSeries(std::unique_ptr<T> series) {
        T* raw = series.get();
        owned_.push_back(std::move(series));
        AddSeries(raw);
        return raw;
    }
    bool HasActiveSeries() const;
    // First palette colour no other series uses.
    TColor GetFreeSeriesColor() const;
    // Widest point label (for axes labelled with point labels).
    std::int32_t MaxPointLabelWidth() const;

    // --- control size and rectangles ----------------------------------------------------------
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    void SetSize(std::int32_t width, std::int32_t height);
    // Drawing area in image coordinates (right/bottom exclusive), set by the full draw.
    TRect ChartBounds;
    // The plotting area; change it only through SetChartRect so the derived values follow.
    const TRect& ChartRect() const { return chartRect_; }
    std::int32_t ChartWidth() const { return chartWidth_; }
    std::int32_t ChartHeight() const { return chartHeight_; }
    std::int32_t ChartXCenter() const { return chartXCenter_; }
    std::int32_t ChartYCenter() const { return chartYCenter_; }
    // Stores and normalises: not left/above ChartBounds, at least one pixel wide and high.
    void SetChartRect(const TRect& r);

    // --- panel properties -----------------------------------------------------------------------
    std::int32_t MarginLeft() const { return marginLeft_; }
    void SetMarginLeft(std::int32_t v);
    std::int32_t MarginTop() const { return marginTop_; }
    void SetMarginTop(std::int32_t v);
    std::int32_t MarginRight() const { return marginRight_; }
    void SetMarginRight(std::int32_t v);
    std::int32_t MarginBottom() const { return marginBottom_; }
    void SetMarginBottom(std::int32_t v);
    std::int32_t BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(std::int32_t v);
    TPanelBevel BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TPanelBevel v);
    TPanelBevel BevelInner() const { return bevelInner_; }
    void SetBevelInner(TPanelBevel v);
    std::int32_t BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(std::int32_t v);
    TColor Color() const { return color_; }
    void SetColor(TColor v);
    bool AxisVisible() const { return axisVisible_; }
    void SetAxisVisible(bool v);
    bool ClipPoints() const { return clipPoints_; }
    void SetClipPoints(bool v);
    bool View3D() const { return view3D_; }
    void SetView3D(bool v);

    // --- repainting -----------------------------------------------------------------------------
    // The panel's automatic-repaint flag: while false, repaint requests are ignored.
    bool AutoRepaint() const { return autoRepaint_; }
    void SetAutoRepaint(bool v) { autoRepaint_ = v; }
    // Repaint request: counted, then OnRequestRepaint (the control marks its image dirty and
    // schedules a paint). Several requests before a paint give one paint.
    virtual void Invalidate();
    // Repaint at once: OnRepaintNow, or a plain request when none is set.
    virtual void Repaint();
    std::function<void()> OnRequestRepaint;
    std::function<void()> OnRepaintNow;
    std::int64_t RepaintRequestCount() const { return repaintRequests_; }
    std::int64_t RepaintNowCount() const { return repaintsNow_; }
    // A fast line series with AutoRepaint off draws its new value at once through this.
    virtual void DrawNewValueNow(TChartSeries& series, std::int32_t index);

    // --- loading and destruction ------------------------------------------------------------------
    // While loading stored properties the axis range checks are skipped.
    bool Loading() const { return loading_; }
    void SetLoading(bool v) { loading_ = v; }
    bool Destroying() const { return destroying_; }

    // --- text ----------------------------------------------------------------------------------
    // Not owned; null measures every text as 0 wide and 0 high.
    ITextMeasure* TextMeasure() const { return textMeasure_; }
    void SetTextMeasure(ITextMeasure* m) { textMeasure_ = m; }
    TFormatSettings FormatSettings;
    TAxisLabelEvent OnGetAxisLabel;

    // --- layout of the plot area ------------------------------------------------------------------
    // On the current chart rectangle: AdjustRange for every axis, room for each visible axis,
    // ComputePixelSpan, then the series margins.
    virtual void LayoutPlotArea();
    void ReserveAxesSpace();
    void ApplySeriesMargins();

protected:
    // Called by the destructor of a derived class that wants ClearPoints etc. to see it.
    void BeginDestroy() { destroying_ = true; }

private:
    friend class TChartSeries;
    void AttachSeries(TChartSeries* series);
    void DetachSeries(TChartSeries* series);
    void ApplyAxisMargins(TCustomChartAxis& axis);
    template <class T> void Store(T& field, const T& value);

    std::unique_ptr<TChartAxis> bottomAxis_;
    std::unique_ptr<TChartAxis> topAxis_;
    std::unique_ptr<TChartAxis> leftAxis_;
    std::unique_ptr<TChartAxis> rightAxis_;
    std::unique_ptr<TChartDepthAxis> depthAxis_;
    std::array<TCustomChartAxis*, 5> axes_{};
    std::vector<TChartSeries*> series_;
    std::vector<std::unique_ptr<TChartSeries>> owned_;

    std::int32_t width_ = 400;
    std::int32_t height_ = 250;
    TRect chartRect_;
    std::int32_t chartWidth_ = 0;
    std::int32_t chartHeight_ = 0;
    std::int32_t chartXCenter_ = 0;
    std::int32_t chartYCenter_ = 0;

    std::int32_t marginLeft_ = 3;
    std::int32_t marginTop_ = 4;
    std::int32_t marginRight_ = 3;
    std::int32_t marginBottom_ = 4;
    std::int32_t borderWidth_ = 0;
    TPanelBevel bevelOuter_ = TPanelBevel::bvRaised;
    TPanelBevel bevelInner_ = TPanelBevel::bvNone;
    std::int32_t bevelWidth_ = 1;
    TColor color_ = clBtnFace;
    bool axisVisible_ = true;
    bool clipPoints_ = true;
    bool view3D_ = true;

    bool autoRepaint_ = false;
    std::int64_t repaintRequests_ = 0;
    std::int64_t repaintsNow_ = 0;
    bool loading_ = false;
    bool destroying_ = false;
    ITextMeasure* textMeasure_ = nullptr;
};


// Pixel positions of the labels of one axis paint, in the order they were produced.
struct TTickPositions {
    static constexpr std::int32_t Capacity = 2000;
    std::array<std::int32_t, Capacity> Positions{};
    std::int32_t Count = 0;

    void Clear() { Count = 0; }
    // Positions beyond the capacity are dropped.
    void Add(std::int32_t p) {
        if (Count < Capacity) Positions[static_cast<std::size_t>(Count++)] = p;
    }
    std::int32_t operator[](std::int32_t i) const { return Positions[static_cast<std::size_t>(i)]; }
};

class TCanvas3D;
class TSurface;
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

    std::unique_ptr<TCanvas3D> canvasOwner_;
    TCanvas3D& canvas_;
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

// The chart the control shows and the window configures (ConfigureChart1); tests and tools
// build it alone to draw onto any surface.
class TChart : public TCustomChart {
public:
    TChart() = default;
};

} // namespace rv
