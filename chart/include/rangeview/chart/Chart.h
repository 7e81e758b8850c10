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
    TChartAxis* BottomAxis() const { return BottomAxis_.get(); }
    TChartAxis* TopAxis() const { return TopAxis_.get(); }
    TChartAxis* LeftAxis() const { return LeftAxis_.get(); }
    TChartAxis* RightAxis() const { return RightAxis_.get(); }
    TChartDepthAxis* DepthAxis() const { return DepthAxis_.get(); }
    const std::array<TCustomChartAxis*, 5>& AxesList() const { return Axes_; }
    // AxisVisible, the axis' own Visible and the series rule.
    virtual bool IsAxisVisible(const TCustomChartAxis& axis) const;

    // --- series -----------------------------------------------------------------------------
    const std::vector<TChartSeries*>& SeriesList() const { return Series_; }
    std::int32_t SeriesCount() const { return static_cast<std::int32_t>(Series_.size()); }
    TChartSeries* Series(std::int32_t index) const;
    // Same as series->SetParentChart(this) / (nullptr).
    void AddSeries(TChartSeries* series);
    void RemoveSeries(TChartSeries* series);
    // Attaches the series and keeps it alive as long as the chart.
    template <class T>
    T* AdoptSeries(std::unique_ptr<T> series)
    {
        T* raw = series.get();
        Owned_.push_back(std::move(series));
        AddSeries(raw);
        return raw;
    }
    bool HasActiveSeries() const;
    // First palette colour no other series uses.
    TColor GetFreeSeriesColor() const;
    // Widest point label (for axes labelled with point labels).
    std::int32_t MaxPointLabelWidth() const;

    // --- control size and rectangles ----------------------------------------------------------
    std::int32_t Width() const { return Width_; }
    std::int32_t Height() const { return Height_; }
    void SetSize(std::int32_t width, std::int32_t height);
    // Drawing area in image coordinates (right/bottom exclusive), set by the full draw.
    TRect ChartBounds;
    // The plotting area; change it only through SetChartRect so the derived values follow.
    const TRect& ChartRect() const { return ChartRect_; }
    std::int32_t ChartWidth() const { return ChartWidth_; }
    std::int32_t ChartHeight() const { return ChartHeight_; }
    std::int32_t ChartXCenter() const { return ChartXCenter_; }
    std::int32_t ChartYCenter() const { return ChartYCenter_; }
    // Stores and normalises: not left/above ChartBounds, at least one pixel wide and high.
    void SetChartRect(const TRect& r);

    // --- panel properties -----------------------------------------------------------------------
    std::int32_t MarginLeft() const { return MarginLeft_; }
    void SetMarginLeft(std::int32_t v);
    std::int32_t MarginTop() const { return MarginTop_; }
    void SetMarginTop(std::int32_t v);
    std::int32_t MarginRight() const { return MarginRight_; }
    void SetMarginRight(std::int32_t v);
    std::int32_t MarginBottom() const { return MarginBottom_; }
    void SetMarginBottom(std::int32_t v);
    std::int32_t BorderWidth() const { return BorderWidth_; }
    void SetBorderWidth(std::int32_t v);
    TPanelBevel BevelOuter() const { return BevelOuter_; }
    void SetBevelOuter(TPanelBevel v);
    TPanelBevel BevelInner() const { return BevelInner_; }
    void SetBevelInner(TPanelBevel v);
    std::int32_t BevelWidth() const { return BevelWidth_; }
    void SetBevelWidth(std::int32_t v);
    TColor Color() const { return Color_; }
    void SetColor(TColor v);
    bool AxisVisible() const { return AxisVisible_; }
    void SetAxisVisible(bool v);
    bool ClipPoints() const { return ClipPoints_; }
    void SetClipPoints(bool v);
    bool View3D() const { return View3D_; }
    void SetView3D(bool v);

    // --- repainting -----------------------------------------------------------------------------
    // The panel's automatic-repaint flag: while false, repaint requests are ignored.
    bool AutoRepaint() const { return AutoRepaint_; }
    void SetAutoRepaint(bool v) { AutoRepaint_ = v; }
    // Repaint request: counted, then OnRequestRepaint (the control marks its image dirty and
    // schedules a paint). Several requests before a paint give one paint.
    virtual void Invalidate();
    // Repaint at once: OnRepaintNow, or a plain request when none is set.
    virtual void Repaint();
    std::function<void()> OnRequestRepaint;
    std::function<void()> OnRepaintNow;
    std::int64_t RepaintRequestCount() const { return RepaintRequests_; }
    std::int64_t RepaintNowCount() const { return RepaintsNow_; }
    // A fast line series with AutoRepaint off draws its new value at once through this.
    virtual void DrawNewValueNow(TChartSeries& series, std::int32_t index);

    // --- loading and destruction ------------------------------------------------------------------
    // While loading stored properties the axis range checks are skipped.
    bool Loading() const { return Loading_; }
    void SetLoading(bool v) { Loading_ = v; }
    bool Destroying() const { return Destroying_; }

    // --- text ----------------------------------------------------------------------------------
    // Not owned; null measures every text as 0 wide and 0 high.
    ITextMeasure* TextMeasure() const { return TextMeasure_; }
    void SetTextMeasure(ITextMeasure* m) { TextMeasure_ = m; }
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
    void BeginDestroy() { Destroying_ = true; }

private:
    friend class TChartSeries;
    void AttachSeries(TChartSeries* series);
    void DetachSeries(TChartSeries* series);
    void ApplyAxisMargins(TCustomChartAxis& axis);
    template <class T>
    void Store(T& field, const T& value);

    std::unique_ptr<TChartAxis> BottomAxis_;
    std::unique_ptr<TChartAxis> TopAxis_;
    std::unique_ptr<TChartAxis> LeftAxis_;
    std::unique_ptr<TChartAxis> RightAxis_;
    std::unique_ptr<TChartDepthAxis> DepthAxis_;
    std::array<TCustomChartAxis*, 5> Axes_{};
    std::vector<TChartSeries*> Series_;
    std::vector<std::unique_ptr<TChartSeries>> Owned_;

    std::int32_t Width_ = 400;
    std::int32_t Height_ = 250;
    TRect ChartRect_;
    std::int32_t ChartWidth_ = 0;
    std::int32_t ChartHeight_ = 0;
    std::int32_t ChartXCenter_ = 0;
    std::int32_t ChartYCenter_ = 0;

    std::int32_t MarginLeft_ = 3;
    std::int32_t MarginTop_ = 4;
    std::int32_t MarginRight_ = 3;
    std::int32_t MarginBottom_ = 4;
    std::int32_t BorderWidth_ = 0;
    TPanelBevel BevelOuter_ = TPanelBevel::bvRaised;
    TPanelBevel BevelInner_ = TPanelBevel::bvNone;
    std::int32_t BevelWidth_ = 1;
    TColor Color_ = clBtnFace;
    bool AxisVisible_ = true;
    bool ClipPoints_ = true;
    bool View3D_ = true;

    bool AutoRepaint_ = false;
    std::int64_t RepaintRequests_ = 0;
    std::int64_t RepaintsNow_ = 0;
    bool Loading_ = false;
    bool Destroying_ = false;
    ITextMeasure* TextMeasure_ = nullptr;
};

// Pixel positions of the labels of one axis paint, in the order they were produced.
struct TTickPositions {
    static constexpr std::int32_t Capacity = 2000;
    std::array<std::int32_t, Capacity> Positions{};
    std::int32_t Count = 0;

    void Clear() { Count = 0; }
    // Positions beyond the capacity are dropped.
    void Add(std::int32_t p)
    {
        if (Count < Capacity)
            Positions[static_cast<std::size_t>(Count++)] = p;
    }
    std::int32_t operator[](std::int32_t i) const { return Positions[static_cast<std::size_t>(i)]; }
};

class TCanvas3D;
class TSurface;
class TCustomChart;

enum class TGradientDirection : std::uint8_t {
    gdTopBottom,
    gdBottomTop,
    gdLeftRight,
    gdRightLeft,
    gdFromCenter,
    gdFromTopLeft,
    gdFromBottomLeft
};

// Background gradient of the chart panel.
class TChartGradient {
public:
    TGradientDirection Direction() const { return Direction_; }
    void SetDirection(TGradientDirection v);
    TColor StartColor() const { return StartColor_; }
    void SetStartColor(TColor v);
    TColor EndColor() const { return EndColor_; }
    void SetEndColor(TColor v);
    bool Visible() const { return Visible_; }
    void SetVisible(bool v);

    std::function<void()> OnChange;

private:
    void Changed();
    TGradientDirection Direction_ = TGradientDirection::gdTopBottom;
    TColor StartColor_ = clWhite;
    TColor EndColor_ = clYellow;
    bool Visible_ = false;
};

enum class TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };

// The chart's title (above the plot) or foot (below it).
class TChartTitle {
public:
    TChartTitle();
    TChartTitle(const TChartTitle&) = delete;
    TChartTitle& operator=(const TChartTitle&) = delete;

    const std::vector<std::string>& Text() const { return Text_; }
    void SetText(const std::vector<std::string>& lines);
    TChartFont& Font() { return Font_; }
    const TChartFont& Font() const { return Font_; }
    bool Visible() const { return Visible_; }
    void SetVisible(bool v);
    TAlignment Alignment() const { return Alignment_; }
    void SetAlignment(TAlignment v);
    TColor Color() const { return Color_; }
    void SetColor(TColor v);
    TChartBrush& Brush() { return Brush_; }
    const TChartBrush& Brush() const { return Brush_; }
    TChartPen& Frame() { return Frame_; }
    const TChartPen& Frame() const { return Frame_; }
    bool AdjustFrame() const { return AdjustFrame_; }
    void SetAdjustFrame(bool v);

    // The rectangle the title occupied at the last draw (mouse hit tests).
    TRect TitleRect;

    std::function<void()> OnChange;

private:
    void Changed();
    std::vector<std::string> Text_;
    TChartFont Font_;
    bool Visible_ = true;
    TAlignment Alignment_ = TAlignment::taCenter;
    TColor Color_ = clDefault;
    TChartBrush Brush_{clDefault, TBrushStyle::bsSolid};
    TChartPen Frame_{clBlack, 1, TPenStyle::psSolid, false};
    bool AdjustFrame_ = true;
};

// Back, left and bottom walls; in the flat view only the back wall is drawn.
class TChartWall {
public:
    TChartWall();
    TChartWall(const TChartWall&) = delete;
    TChartWall& operator=(const TChartWall&) = delete;

    TChartBrush& Brush() { return Brush_; }
    const TChartBrush& Brush() const { return Brush_; }
    TChartPen& Pen() { return Pen_; }
    const TChartPen& Pen() const { return Pen_; }
    TColor Color() const { return Color_; }
    void SetColor(TColor v);
    std::int32_t Size() const { return Size_; }
    void SetSize(std::int32_t v);
    bool Dark3D() const { return Dark3D_; }
    void SetDark3D(bool v);

    std::function<void()> OnChange;

private:
    void Changed();
    TChartBrush Brush_{clDefault, TBrushStyle::bsClear};
    TChartPen Pen_;
    TColor Color_ = clDefault;
    std::int32_t Size_ = 0;
    bool Dark3D_ = true;
};

// Only its visibility: this chart draws no legend.
class TChartLegend {
public:
    bool Visible() const { return Visible_; }
    void SetVisible(bool v);
    std::function<void()> OnChange;

private:
    bool Visible_ = true;
};

enum class TPanningMode : std::uint8_t { pmNone, pmHorizontal, pmVertical, pmBoth };

using TChartNotifyEvent = std::function<void(TCustomChart* Sender)>;

// The painting chart: background, bevels, titles, walls, axes, series and the zoom rectangle,
// drawn through its TCanvas3D into an off-screen image.
class TCustomChart : public TCustomAxisPanel {
public:
    TCustomChart();
    ~TCustomChart() override;

    TChartGradient& Gradient() { return Gradient_; }
    TChartTitle& Title() { return Title_; }
    TChartTitle& Foot() { return Foot_; }
    TChartWall& BackWall() { return BackWall_; }
    TChartWall& LeftWall() { return LeftWall_; }
    TChartWall& BottomWall() { return BottomWall_; }
    TChartLegend& Legend() { return Legend_; }
    // The frame around the plotting area is the back wall's pen.
    TChartPen& Frame() { return BackWall_.Pen(); }
    TCanvas3D& Canvas() { return Canvas_; }

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
    // Whether full draws go to the off-screen image first (the default) or straight onto the
    // target: a vector device (an SVG file) must get lines and texts, not a copied bitmap.
    void SetBufferedDisplay(bool value);
    // Number of full draws so far.
    std::int64_t FullDrawCount() const { return FullDraws_; }

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
    const TTickPositions& TickPositions(std::size_t axisIndex) const { return Ticks_[axisIndex]; }

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

    std::unique_ptr<TCanvas3D> CanvasOwner_;
    TCanvas3D& Canvas_;
    TChartGradient Gradient_;
    TChartTitle Title_;
    TChartTitle Foot_;
    TChartWall BackWall_;
    TChartWall LeftWall_;
    TChartWall BottomWall_;
    TChartLegend Legend_;
    std::array<TTickPositions, 5> Ticks_{};
    std::int64_t FullDraws_ = 0;
};

// The chart the control shows and the window configures (ConfigureChart1); tests and tools
// build it alone to draw onto any surface.
class TChart : public TCustomChart {
public:
    TChart() = default;
};

} // namespace rv
