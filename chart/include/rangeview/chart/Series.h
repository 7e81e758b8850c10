#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rangeview/chart/ChunkedArray.h"
#include "rangeview/chart/Colors.h"
#include "rangeview/chart/Geometry.h"
#include "rangeview/chart/Pens.h"
#include "rangeview/chart/ValueList.h"

namespace rv {

class TCustomAxisPanel;
class TCustomChartAxis;
class TChartAxis;
class TChartSeries;

enum class THorizAxis : std::uint8_t { aTopAxis, aBottomAxis, aBothHorizAxis, aCustomHorizAxis };
enum class TVertAxis : std::uint8_t { aLeftAxis, aRightAxis, aBothVertAxis, aCustomVertAxis };

using TSeriesOnAfterAdd = std::function<void(TChartSeries* Sender, std::int32_t ValueIndex)>;
using TSeriesOnBeforeAdd = std::function<bool(TChartSeries* Sender)>;
using TSeriesOnClear = std::function<void(TChartSeries* Sender)>;
using TNotifyEvent = std::function<void(TChartSeries* Sender)>;

// Mark settings; marks are never drawn here, only their position list is kept in step.
struct TSeriesMarks {
    bool Visible = true;
    std::vector<TRect> Positions;
};

// The data side of a chart series: aligned X/Y value lists, point colours and labels, change
// events and the mapping of points onto the chart's axes.
class TChartSeries {
public:
    TChartSeries();
    virtual ~TChartSeries();
    TChartSeries(const TChartSeries&) = delete;
    TChartSeries& operator=(const TChartSeries&) = delete;

    std::string Name;

    // --- data -----------------------------------------------------------------------------
    TChartValueList& XValues() { return *XValues_; }
    const TChartValueList& XValues() const { return *XValues_; }
    TChartValueList& YValues() { return *YValues_; }
    const TChartValueList& YValues() const { return *YValues_; }
    // X first, then Y (value lists register themselves here).
    const std::vector<TChartValueList*>& ValueLists() const { return ValueLists_; }
    void RegisterValueList(TChartValueList* list) { ValueLists_.push_back(list); }
    // The list axes label along (the other one is the "ordered" list): Y for this class.
    virtual bool YMandatory() const { return true; }

    std::int32_t PointCount() const { return XValues_->ValueCount(); }
    virtual double PointX(std::int32_t Index) const { return XValues_->ValueAt(Index); }
    virtual double PointY(std::int32_t Index) const { return YValues_->ValueAt(Index); }
    virtual TColor PointColor(std::int32_t Index) const;
    virtual std::string PointLabel(std::int32_t Index) const;
    // The label sequence has entries and its first one is present.
    bool HasPointLabels() const;

    // Returns the index the point was stored at, or -1 when OnBeforeAdd vetoed it.
    virtual std::int32_t AddPoint(double X, double Y, std::string_view Label, TColor Color);
    virtual void NotifyPointAdded(TChartSeries* Sender, std::int32_t Index);
    virtual void ClearPoints();
    virtual void EmptyAllLists();
    virtual void DeletePoint(std::int32_t Index);

    virtual double HighestX() { return XValues_->HighestValue(); }
    virtual double HighestY() { return YValues_->HighestValue(); }
    virtual double LowestX() { return XValues_->LowestValue(); }
    virtual double LowestY() { return YValues_->LowestValue(); }

    // --- settings ---------------------------------------------------------------------------
    bool Active() const { return Active_; }
    virtual void SetActive(bool value);
    TColor SeriesColor() const { return SeriesColor_; }
    virtual void SetSeriesColor(TColor value);
    bool ColorEachPoint() const { return ColorEachPoint_; }
    void SetColorEachPoint(bool value);
    THorizAxis HorizAxis() const { return HorizAxis_; }
    void SetHorizAxis(THorizAxis value);
    TVertAxis VertAxis() const { return VertAxis_; }
    void SetVertAxis(TVertAxis value);
    // Used with aCustomHorizAxis / aCustomVertAxis.
    TChartAxis* CustomHorizAxis() const { return CustomHorizAxis_; }
    void SetCustomHorizAxis(TChartAxis* value);
    TChartAxis* CustomVertAxis() const { return CustomVertAxis_; }
    void SetCustomVertAxis(TChartAxis* value);

    std::string ValueFormat = "#,##0.###";
    std::string PercentFormat = "##0.## %";
    bool ShowInLegend = true;
    bool ClipToVisible = true;
    bool ExtendToEdge = false;
    // Whether a series with a single visible point is drawn.
    bool AllowSinglePoint = true;
    std::int32_t Cursor = 0; // crDefault
    TSeriesMarks Marks;

    // --- chart and axes ---------------------------------------------------------------------
    TCustomAxisPanel* ParentChart() const { return ParentChart_; }
    // Leaves the old chart's series list and joins the new one's (null: none).
    void SetParentChart(TCustomAxisPanel* value);
    TCustomChartAxis* ResolvedHorizAxis() const { return ResolvedHorizAxis_; }
    TCustomChartAxis* ResolvedVertAxis() const { return ResolvedVertAxis_; }
    void ResolveAxes();
    bool IsAssociatedTo(const TCustomChartAxis* Axis) const;
    // Asks the parent chart to repaint; nothing without one.
    void RequestRepaint();

    // --- drawing support ----------------------------------------------------------------------
    std::int32_t VisibleFirst = -1;
    std::int32_t VisibleLast = -1;
    void FindVisibleRange();
    virtual std::int32_t PointPixelX(std::int32_t Index) const;
    virtual std::int32_t PointPixelY(std::int32_t Index) const;
    // Pixels kept free at both ends of the axes for this series (0 for line series).
    virtual void HorizMargins(std::int32_t& Left, std::int32_t& Right) const { Left = Right = 0; }
    virtual void VertMargins(std::int32_t& Top, std::int32_t& Bottom) const { Top = Bottom = 0; }
    // Index of the point or segment start at pixel (X, Y) as left by the last paint, or -1.
    virtual std::int32_t Clicked(std::int32_t X, std::int32_t Y) const;

    // --- events -----------------------------------------------------------------------------
    TNotifyEvent AfterDrawValues;
    TNotifyEvent BeforeDrawValues;
    TSeriesOnAfterAdd OnAfterAdd;
    TSeriesOnBeforeAdd OnBeforeAdd;
    TSeriesOnClear OnClearValues;
    std::function<void(TChartSeries* Sender, std::int32_t ValueIndex)> OnClick;
    std::function<void(TChartSeries* Sender, std::int32_t ValueIndex)> OnDblClick;
    std::function<void(TChartSeries* Sender, std::int32_t ValueIndex, std::string& MarkText)>
        OnGetMarkText;

    // Colour used for index i when ColorEachPoint is set.
    static TColor PaletteColor(std::int32_t i);

protected:
    // Lets the chart keep its list in step without calling back into SetParentChart.
    friend class TCustomAxisPanel;
    void DetachFromChart()
    {
        ParentChart_ = nullptr;
        ResolvedHorizAxis_ = ResolvedVertAxis_ = nullptr;
    }

private:
    void InsertColor(std::int32_t Index, TColor Color);
    void InsertLabel(std::int32_t Index, std::string_view Label);
    void RollBackInsert(std::int32_t Index, int stage);

    std::vector<TChartValueList*> ValueLists_;
    std::unique_ptr<TChartValueList> XValues_;
    std::unique_ptr<TChartValueList> YValues_;
    bool Active_ = true;
    TColor SeriesColor_ = UseSeriesColor;
    bool ColorEachPoint_ = false;
    // Colours and labels take no room until a point brings one that is not the default: the
    // sequences are only materialised then (entries before it are UseSeriesColor / absent).
    TChunkedArray<TColor> Colors_;
    bool ColorsStored_ = false;
    TChunkedArray<std::unique_ptr<std::string>> Labels_;
    bool LabelsStored_ = false;
    THorizAxis HorizAxis_ = THorizAxis::aBottomAxis;
    TVertAxis VertAxis_ = TVertAxis::aLeftAxis;
    TChartAxis* CustomHorizAxis_ = nullptr;
    TChartAxis* CustomVertAxis_ = nullptr;
    TCustomAxisPanel* ParentChart_ = nullptr;
    TCustomChartAxis* ResolvedHorizAxis_ = nullptr;
    TCustomChartAxis* ResolvedVertAxis_ = nullptr;
};

// Line series drawn as one polyline. The drawing itself belongs to the chart's painter.
class TFastLineSeries : public TChartSeries {
public:
    TFastLineSeries();

    TChartPen& LinePen() { return LinePen_; }
    const TChartPen& LinePen() const { return LinePen_; }
    // Copies the pen's values and takes its colour as the series colour.
    void SetLinePen(const TChartPen& pen);
    void SetSeriesColor(TColor value) override;
    bool AutoRepaint() const { return AutoRepaint_; }
    void SetAutoRepaint(bool value) { AutoRepaint_ = value; }

    void NotifyPointAdded(TChartSeries* Sender, std::int32_t Index) override;
    std::int32_t Clicked(std::int32_t X, std::int32_t Y) const override;

    // Last drawn pixel position, kept by the painter.
    std::int32_t LastX = 0;
    std::int32_t LastY = 0;
    // Depth coordinate for 3-D views.
    std::int32_t DepthZ = 0;

private:
    TChartPen LinePen_;
    bool AutoRepaint_ = true;
};

} // namespace rv
