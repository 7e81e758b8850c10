#include "rangeview/chart/Series.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "rangeview/chart/Axis.h"
#include "rangeview/chart/Chart.h"

namespace rv {

namespace {
// Colours handed out to series and to points of ColorEachPoint series, in order; all readable on
// a light background.
constexpr std::array<TColor, 14> Palette = {clRed,  clGreen,  clYellow, clBlue,  clFuchsia,
                                            clAqua, clMaroon, clNavy,   clOlive, clPurple,
                                            clTeal, clLime,   clGray,   clSilver};
} // namespace

TColor TChartSeries::PaletteColor(std::int32_t i)
{
    const auto n = static_cast<std::int32_t>(Palette.size());
    return Palette[static_cast<std::size_t>(((i % n) + n) % n)];
}

TChartSeries::TChartSeries()
    : XValues_(std::make_unique<TChartValueList>(this, "X")),
      YValues_(std::make_unique<TChartValueList>(this, "Y"))
{
    XValues_->SetOrder(TChartListOrder::loAscending);
}

TChartSeries::~TChartSeries()
{
    if (ParentChart_)
        ParentChart_->DetachSeries(this);
}

// --- points -----------------------------------------------------------------------------------

TColor TChartSeries::PointColor(std::int32_t Index) const
{
    if (Index < 0 || Index >= PointCount())
        return SeriesColor_;
    const TColor c = ColorsStored_ ? Colors_[static_cast<std::size_t>(Index)] : UseSeriesColor;
    if (c != UseSeriesColor)
        return c;
    return ColorEachPoint_ ? PaletteColor(Index) : SeriesColor_;
}

std::string TChartSeries::PointLabel(std::int32_t Index) const
{
    if (!LabelsStored_ || Index < 0 || Index >= static_cast<std::int32_t>(Labels_.size()))
        return {};
    const auto& entry = Labels_[static_cast<std::size_t>(Index)];
    return entry ? *entry : std::string{};
}

bool TChartSeries::HasPointLabels() const
{
    return LabelsStored_ && !Labels_.empty() && Labels_[0] != nullptr;
}

void TChartSeries::InsertColor(std::int32_t Index, TColor Color)
{
    const auto i = static_cast<std::size_t>(Index);
    if (ColorsStored_) {
        Colors_.insert(i, Color);
        return;
    }
    if (Color == UseSeriesColor)
        return;
    // Point count already includes the new point.
    TChunkedArray<TColor> full;
    const auto before = static_cast<std::size_t>(PointCount() - 1);
    for (std::size_t k = 0; k < before; ++k)
        full.push_back(UseSeriesColor);
    full.insert(i, Color);
    Colors_ = std::move(full);
    ColorsStored_ = true;
}

void TChartSeries::InsertLabel(std::int32_t Index, std::string_view Label)
{
    const auto i = static_cast<std::size_t>(Index);
    if (LabelsStored_) {
        auto copy = Label.empty() ? nullptr : std::make_unique<std::string>(Label);
        Labels_.insert(i, std::move(copy));
        return;
    }
    if (Label.empty())
        return;
    TChunkedArray<std::unique_ptr<std::string>> full;
    const auto before = static_cast<std::size_t>(PointCount() - 1);
    for (std::size_t k = 0; k < before; ++k)
        full.push_back(nullptr);
    full.insert(i, std::make_unique<std::string>(Label));
    Labels_ = std::move(full);
    LabelsStored_ = true;
}

void TChartSeries::RollBackInsert(std::int32_t Index, int stage)
{
    // stage: how many of Y, colour, label were inserted before the failure.
    const auto i = static_cast<std::size_t>(Index);
    if (stage >= 2 && ColorsStored_ && Colors_.size() > static_cast<std::size_t>(PointCount() - 1))
        Colors_.erase(i);
    if (stage >= 1)
        YValues_->RemoveValue(Index);
    XValues_->RemoveValue(Index);
}

std::int32_t TChartSeries::AddPoint(double X, double Y, std::string_view Label, TColor Color)
{
    XValues_->StagedValue = X;
    YValues_->StagedValue = Y;
    if (OnBeforeAdd && !OnBeforeAdd(this))
        return -1;
    const std::int32_t index = XValues_->AddInOrder(XValues_->StagedValue);
    int stage = 0;
    try {
        YValues_->InsertValue(index, YValues_->StagedValue);
        stage = 1;
        InsertColor(index, Color);
        stage = 2;
        InsertLabel(index, Label);
    } catch (...) {
        // Out of memory half-way: take the point out again so the lists stay aligned.
        RollBackInsert(index, stage);
        throw;
    }
    NotifyPointAdded(this, index);
    return index;
}

void TChartSeries::NotifyPointAdded(TChartSeries* Sender, std::int32_t Index)
{
    if (OnAfterAdd)
        OnAfterAdd(Sender, Index);
    // Series fed from this one would be told here; there are none.
    if (Active_)
        RequestRepaint();
}

void TChartSeries::EmptyAllLists()
{
    for (TChartValueList* list : ValueLists_)
        list->RemoveAllValues();
    Colors_.clear();
    ColorsStored_ = false;
    Labels_.clear();
    LabelsStored_ = false;
    Marks.Positions.clear();
    Marks.Positions.shrink_to_fit();
}

void TChartSeries::ClearPoints()
{
    EmptyAllLists();
    if (OnClearValues)
        OnClearValues(this);
    if (Active_ && ParentChart_ && !ParentChart_->Destroying())
        RequestRepaint();
}

void TChartSeries::DeletePoint(std::int32_t Index)
{
    // ValueAt checks the index, so a bad one changes nothing.
    (void)XValues_->ValueAt(Index);
    const auto i = static_cast<std::size_t>(Index);
    for (TChartValueList* list : ValueLists_) {
        if (Index < list->ValueCount())
            list->RemoveValue(Index);
    }
    if (ColorsStored_ && i < Colors_.size())
        Colors_.erase(i);
    if (LabelsStored_ && i < Labels_.size())
        Labels_.erase(i);
    if (i < Marks.Positions.size())
        Marks.Positions.erase(Marks.Positions.begin() + Index);
    if (Active_)
        RequestRepaint();
}

// --- settings ---------------------------------------------------------------------------------

void TChartSeries::SetActive(bool value)
{
    if (value == Active_)
        return;
    Active_ = value;
    RequestRepaint();
}

void TChartSeries::SetSeriesColor(TColor value)
{
    if (value == SeriesColor_)
        return;
    SeriesColor_ = value;
    RequestRepaint();
}

void TChartSeries::SetColorEachPoint(bool value)
{
    if (value == ColorEachPoint_)
        return;
    ColorEachPoint_ = value;
    RequestRepaint();
}

void TChartSeries::SetHorizAxis(THorizAxis value)
{
    if (value == HorizAxis_)
        return;
    HorizAxis_ = value;
    ResolveAxes();
    RequestRepaint();
}

void TChartSeries::SetVertAxis(TVertAxis value)
{
    if (value == VertAxis_)
        return;
    VertAxis_ = value;
    ResolveAxes();
    RequestRepaint();
}

void TChartSeries::SetCustomHorizAxis(TChartAxis* value)
{
    if (value == CustomHorizAxis_)
        return;
    CustomHorizAxis_ = value;
    ResolveAxes();
    RequestRepaint();
}

void TChartSeries::SetCustomVertAxis(TChartAxis* value)
{
    if (value == CustomVertAxis_)
        return;
    CustomVertAxis_ = value;
    ResolveAxes();
    RequestRepaint();
}

// --- chart and axes ---------------------------------------------------------------------------

void TChartSeries::SetParentChart(TCustomAxisPanel* value)
{
    if (value == ParentChart_)
        return;
    if (ParentChart_)
        ParentChart_->DetachSeries(this);
    ParentChart_ = value;
    ResolveAxes();
    if (ParentChart_)
        ParentChart_->AttachSeries(this);
}

void TChartSeries::ResolveAxes()
{
    if (!ParentChart_) {
        ResolvedHorizAxis_ = ResolvedVertAxis_ = nullptr;
        return;
    }
    if (HorizAxis_ == THorizAxis::aTopAxis)
        ResolvedHorizAxis_ = ParentChart_->TopAxis();
    else if (HorizAxis_ == THorizAxis::aCustomHorizAxis && CustomHorizAxis_)
        ResolvedHorizAxis_ = CustomHorizAxis_;
    else
        ResolvedHorizAxis_ = ParentChart_->BottomAxis();

    if (VertAxis_ == TVertAxis::aRightAxis)
        ResolvedVertAxis_ = ParentChart_->RightAxis();
    else if (VertAxis_ == TVertAxis::aCustomVertAxis && CustomVertAxis_)
        ResolvedVertAxis_ = CustomVertAxis_;
    else
        ResolvedVertAxis_ = ParentChart_->LeftAxis();
}

bool TChartSeries::IsAssociatedTo(const TCustomChartAxis* Axis) const
{
    if (!Axis)
        return false;
    if (Axis->IsHorizontal)
        return HorizAxis_ == THorizAxis::aBothHorizAxis || Axis == ResolvedHorizAxis_;
    return VertAxis_ == TVertAxis::aBothVertAxis || Axis == ResolvedVertAxis_;
}

void TChartSeries::RequestRepaint()
{
    if (ParentChart_)
        ParentChart_->Invalidate();
}

// --- drawing support ----------------------------------------------------------------------------

void TChartSeries::FindVisibleRange()
{
    VisibleFirst = VisibleLast = -1;
    const std::int32_t count = PointCount();
    if (count < 1)
        return;
    const std::int32_t last = count - 1;
    const TChartValueList& ordered = YMandatory() ? *XValues_ : *YValues_;
    // Without a chart there is no visible window to clip to: everything is in range.
    if (!ClipToVisible || ordered.Order() == TChartListOrder::loNone || !ParentChart_ ||
        !ResolvedHorizAxis_) {
        VisibleFirst = 0;
        VisibleLast = last;
        return;
    }
    const TCustomChartAxis& axis = *ResolvedHorizAxis_;
    const TRect& rect = ParentChart_->ChartRect();
    const double leftValue = axis.PixelToValue(axis.Inverted() ? rect.Right : rect.Left);
    const std::int32_t first = ordered.FirstIndexAtOrAbove(leftValue, 0);
    if (first >= count)
        return;
    VisibleFirst = first;
    const double rightValue = axis.PixelToValue(axis.Inverted() ? rect.Left : rect.Right);
    if (ordered.LastValue() <= rightValue) {
        VisibleLast = last;
        return;
    }
    std::int32_t edge = ordered.FirstIndexAtOrAbove(rightValue, first);
    if (edge >= count)
        edge = last;
    if (!ExtendToEdge && ordered.ValueAt(edge) > rightValue)
        --edge;
    VisibleLast = edge;
}

std::int32_t TChartSeries::PointPixelX(std::int32_t Index) const
{
    const double x = PointX(Index);
    return ResolvedHorizAxis_ ? ResolvedHorizAxis_->ValueToPixel(x) : 0;
}

std::int32_t TChartSeries::PointPixelY(std::int32_t Index) const
{
    const double y = PointY(Index);
    return ResolvedVertAxis_ ? ResolvedVertAxis_->ValueToPixel(y) : 0;
}

std::int32_t TChartSeries::Clicked(std::int32_t, std::int32_t) const
{
    return -1;
}

// --- fast line ------------------------------------------------------------------------------------

TFastLineSeries::TFastLineSeries()
{
    LinePen_.OnChange = [this] { RequestRepaint(); };
    AllowSinglePoint = false;
    ExtendToEdge = true;
    AutoRepaint_ = true;
}

void TFastLineSeries::SetLinePen(const TChartPen& pen)
{
    LinePen_.Assign(pen);
    SetSeriesColor(pen.Color());
}

void TFastLineSeries::SetSeriesColor(TColor value)
{
    TChartSeries::SetSeriesColor(value);
    LinePen_.SetColor(value);
}

void TFastLineSeries::NotifyPointAdded(TChartSeries* Sender, std::int32_t Index)
{
    if (AutoRepaint_) {
        TChartSeries::NotifyPointAdded(Sender, Index);
        return;
    }
    // Draws only the new segment; no after-add event and no repaint request on this path.
    if (ParentChart())
        ParentChart()->DrawNewValueNow(*this, Index);
}

std::int32_t TFastLineSeries::Clicked(std::int32_t X, std::int32_t Y) const
{
    if (VisibleFirst == -1 || VisibleLast == -1)
        return -1;
    const std::int32_t last = std::min(VisibleLast, PointCount() - 1);
    std::int64_t ax = 0;
    std::int64_t ay = 0;
    for (std::int32_t i = VisibleFirst; i <= last; ++i) {
        const std::int64_t bx = PointPixelX(i);
        const std::int64_t by = PointPixelY(i);
        if (bx == X && by == Y)
            return i;
        if (i > VisibleFirst) {
            const std::int64_t dx = bx - ax;
            const std::int64_t dy = by - ay;
            const std::int64_t cross = std::llabs((X - ax) * dy - (Y - ay) * dx);
            const bool within = X >= std::min(ax, bx) && X <= std::max(ax, bx) &&
                                Y >= std::min(ay, by) && Y <= std::max(ay, by);
            if (within && cross < std::max(std::llabs(dx), std::llabs(dy)))
                return i - 1;
        }
        ax = bx;
        ay = by;
    }
    return -1;
}

} // namespace rv
