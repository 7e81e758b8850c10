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

} // namespace rv
