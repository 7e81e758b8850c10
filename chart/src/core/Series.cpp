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
constexpr std::array<TColor, 14> Palette = {clRed,    clGreen, clYellow, clBlue,   clFuchsia,
                                            clAqua,   clMaroon, clNavy,  clOlive,  clPurple,
                                            clTeal,   clLime,   clGray,  clSilver};
} // namespace

TColor TChartSeries::PaletteColor(std::int32_t i) {
    const auto n = static_cast<std::int32_t>(Palette.size());
    return Palette[static_cast<std::size_t>(((i % n) + n) % n)];
}

TChartSeries::TChartSeries()
    : xValues_(std::make_unique<TChartValueList>(this, "X")),
      yValues_(std::make_unique<TChartValueList>(this, "Y")) {
    xValues_->SetOrder(TChartListOrder::loAscending);
}

TChartSeries::~TChartSeries() {
    if (parentChart_) parentChart_->DetachSeries(this);
}

// --- points -----------------------------------------------------------------------------------

TColor TChartSeries::PointColor(std::int32_t Index) const {
    if (Index < 0 || Index >= PointCount()) return seriesColor_;
    const TColor c = colorsStored_ ? colors_[static_cast<std::size_t>(Index)] : UseSeriesColor;
    if (c != UseSeriesColor) return c;
    return colorEachPoint_ ? PaletteColor(Index) : seriesColor_;
}

std::string TChartSeries::PointLabel(std::int32_t Index) const {
    if (!labelsStored_ || Index < 0 || Index >= static_cast<std::int32_t>(labels_.size())) return {};
    const auto& entry = labels_[static_cast<std::size_t>(Index)];
    return entry ? *entry : std::string{};
}

bool TChartSeries::HasPointLabels() const {
    return labelsStored_ && !labels_.empty() && labels_[0] != nullptr;
}

void TChartSeries::InsertColor(std::int32_t Index, TColor Color) {
    const auto i = static_cast<std::size_t>(Index);
    if (colorsStored_) {
        colors_.insert(i, Color);
        return;
    }
    if (Color == UseSeriesColor) return;
    // Point count already includes the new point.
    TChunkedArray<TColor> full;
    const auto before = static_cast<std::size_t>(PointCount() - 1);
    for (std::size_t k = 0; k < before; ++k) full.push_back(UseSeriesColor);
    full.insert(i, Color);
    colors_ = std::move(full);
    colorsStored_ = true;
}

void TChartSeries::InsertLabel(std::int32_t Index, std::string_view Label) {
    const auto i = static_cast<std::size_t>(Index);
    if (labelsStored_) {
        auto copy = Label.empty() ? nullptr : std::make_unique<std::string>(Label);
        labels_.insert(i, std::move(copy));
        return;
    }
    if (Label.empty()) return;
    TChunkedArray<std::unique_ptr<std::string>> full;
    const auto before = static_cast<std::size_t>(PointCount() - 1);
    for (std::size_t k = 0; k < before; ++k) full.push_back(nullptr);
    full.insert(i, std::make_unique<std::string>(Label));
    labels_ = std::move(full);
    labelsStored_ = true;
}

void TChartSeries::RollBackInsert(std::int32_t Index, int stage) {
    // stage: how many of Y, colour, label were inserted before the failure.
    const auto i = static_cast<std::size_t>(Index);
    if (stage >= 2 && colorsStored_ && colors_.size() > static_cast<std::size_t>(PointCount() - 1)) colors_.erase(i);
    if (stage >= 1) yValues_->RemoveValue(Index);
    xValues_->RemoveValue(Index);
}

std::int32_t TChartSeries::AddPoint(double X, double Y, std::string_view Label, TColor Color) {
    xValues_->StagedValue = X;
    yValues_->StagedValue = Y;
    if (OnBeforeAdd && !OnBeforeAdd(this)) return -1;
    const std::int32_t index = xValues_->AddInOrder(xValues_->StagedValue);
    int stage = 0;
    try {
        yValues_->InsertValue(index, yValues_->StagedValue);
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

void TChartSeries::NotifyPointAdded(TChartSeries* Sender, std::int32_t Index) {
    if (OnAfterAdd) OnAfterAdd(Sender, Index);
    // Series fed from this one would be told here; there are none.
    if (active_) RequestRepaint();
}

void TChartSeries::EmptyAllLists() {
    for (TChartValueList* list : valueLists_) list->RemoveAllValues();
    colors_.clear();
    colorsStored_ = false;
    labels_.clear();
    labelsStored_ = false;
    Marks.Positions.clear();
    Marks.Positions.shrink_to_fit();
}

void TChartSeries::ClearPoints() {
    EmptyAllLists();
    if (OnClearValues) OnClearValues(this);
    if (active_ && parentChart_ && !parentChart_->Destroying()) RequestRepaint();
}

void TChartSeries::DeletePoint(std::int32_t Index) {
    // ValueAt checks the index, so a bad one changes nothing.
    (void)xValues_->ValueAt(Index);
    const auto i = static_cast<std::size_t>(Index);
    for (TChartValueList* list : valueLists_) {
        if (Index < list->ValueCount()) list->RemoveValue(Index);
    }
    if (colorsStored_ && i < colors_.size()) colors_.erase(i);
    if (labelsStored_ && i < labels_.size()) labels_.erase(i);
    if (i < Marks.Positions.size()) Marks.Positions.erase(Marks.Positions.begin() + Index);
    if (active_) RequestRepaint();
}

// --- settings ---------------------------------------------------------------------------------

void TChartSeries::SetActive(bool value) {
    if (value == active_) return;
    active_ = value;
    RequestRepaint();
}

void TChartSeries::SetSeriesColor(TColor value) {
    if (value == seriesColor_) return;
    seriesColor_ = value;
    RequestRepaint();
}

void TChartSeries::SetColorEachPoint(bool value) {
    if (value == colorEachPoint_) return;
    colorEachPoint_ = value;
    RequestRepaint();
}

void TChartSeries::SetHorizAxis(THorizAxis value) {
    if (value == horizAxis_) return;
    horizAxis_ = value;
    ResolveAxes();
    RequestRepaint();
}

void TChartSeries::SetVertAxis(TVertAxis value) {
    if (value == vertAxis_) return;
    vertAxis_ = value;
    ResolveAxes();
    RequestRepaint();
}

void TChartSeries::SetCustomHorizAxis(TChartAxis* value) {
    if (value == customHorizAxis_) return;
    customHorizAxis_ = value;
    ResolveAxes();
    RequestRepaint();
}

void TChartSeries::SetCustomVertAxis(TChartAxis* value) {
    if (value == customVertAxis_) return;
    customVertAxis_ = value;
    ResolveAxes();
    RequestRepaint();
}

// --- chart and axes ---------------------------------------------------------------------------

void TChartSeries::SetParentChart(TCustomAxisPanel* value) {
    if (value == parentChart_) return;
    if (parentChart_) parentChart_->DetachSeries(this);
    parentChart_ = value;
    ResolveAxes();
    if (parentChart_) parentChart_->AttachSeries(this);
}

void TChartSeries::ResolveAxes() {
    if (!parentChart_) {
        resolvedHorizAxis_ = resolvedVertAxis_ = nullptr;
        return;
    }
    if (horizAxis_ == THorizAxis::aTopAxis) resolvedHorizAxis_ = parentChart_->TopAxis();
    else if (horizAxis_ == THorizAxis::aCustomHorizAxis && customHorizAxis_) resolvedHorizAxis_ = customHorizAxis_;
    else resolvedHorizAxis_ = parentChart_->BottomAxis();

    if (vertAxis_ == TVertAxis::aRightAxis) resolvedVertAxis_ = parentChart_->RightAxis();
    else if (vertAxis_ == TVertAxis::aCustomVertAxis && customVertAxis_) resolvedVertAxis_ = customVertAxis_;
    else resolvedVertAxis_ = parentChart_->LeftAxis();
}

bool TChartSeries::IsAssociatedTo(const TCustomChartAxis* Axis) const {
    if (!Axis) return false;
    if (Axis->IsHorizontal) return horizAxis_ == THorizAxis::aBothHorizAxis || Axis == resolvedHorizAxis_;
    return vertAxis_ == TVertAxis::aBothVertAxis || Axis == resolvedVertAxis_;
}

void TChartSeries::RequestRepaint() {
    if (parentChart_) parentChart_->Invalidate();
}

// --- drawing support ----------------------------------------------------------------------------

void TChartSeries::FindVisibleRange() {
    VisibleFirst = VisibleLast = -1;
    const std::int32_t count = PointCount();
    if (count < 1) return;
    const std::int32_t last = count - 1;
    const TChartValueList& ordered = YMandatory() ? *xValues_ : *yValues_;
    // Without a chart there is no visible window to clip to: everything is in range.
    if (!ClipToVisible || ordered.Order() == TChartListOrder::loNone || !parentChart_ || !resolvedHorizAxis_) {
        VisibleFirst = 0;
        VisibleLast = last;
        return;
    }
    const TCustomChartAxis& axis = *resolvedHorizAxis_;
    const TRect& rect = parentChart_->ChartRect();
    const double leftValue = axis.PixelToValue(axis.Inverted() ? rect.Right : rect.Left);
    const std::int32_t first = ordered.FirstIndexAtOrAbove(leftValue, 0);
    if (first >= count) return;
    VisibleFirst = first;
    const double rightValue = axis.PixelToValue(axis.Inverted() ? rect.Left : rect.Right);
    if (ordered.LastValue() <= rightValue) {
        VisibleLast = last;
        return;
    }
    std::int32_t edge = ordered.FirstIndexAtOrAbove(rightValue, first);
    if (edge >= count) edge = last;
    if (!ExtendToEdge && ordered.ValueAt(edge) > rightValue) --edge;
    VisibleLast = edge;
}

std::int32_t TChartSeries::PointPixelX(std::int32_t Index) const {
    const double x = PointX(Index);
    return resolvedHorizAxis_ ? resolvedHorizAxis_->ValueToPixel(x) : 0;
}

std::int32_t TChartSeries::PointPixelY(std::int32_t Index) const {
    const double y = PointY(Index);
    return resolvedVertAxis_ ? resolvedVertAxis_->ValueToPixel(y) : 0;
}

std::int32_t TChartSeries::Clicked(std::int32_t, std::int32_t) const { return -1; }

// --- fast line ------------------------------------------------------------------------------------

TFastLineSeries::TFastLineSeries() {
    linePen_.OnChange = [this] { RequestRepaint(); };
    AllowSinglePoint = false;
    ExtendToEdge = true;
    autoRepaint_ = true;
}

void TFastLineSeries::SetLinePen(const TChartPen& pen) {
    linePen_.Assign(pen);
    SetSeriesColor(pen.Color());
}

void TFastLineSeries::SetSeriesColor(TColor value) {
    TChartSeries::SetSeriesColor(value);
    linePen_.SetColor(value);
}

void TFastLineSeries::NotifyPointAdded(TChartSeries* Sender, std::int32_t Index) {
    if (autoRepaint_) {
        TChartSeries::NotifyPointAdded(Sender, Index);
        return;
    }
    // Draws only the new segment; no after-add event and no repaint request on this path.
    if (ParentChart()) ParentChart()->DrawNewValueNow(*this, Index);
}

std::int32_t TFastLineSeries::Clicked(std::int32_t X, std::int32_t Y) const {
    if (VisibleFirst == -1 || VisibleLast == -1) return -1;
    const std::int32_t last = std::min(VisibleLast, PointCount() - 1);
    std::int64_t ax = 0;
    std::int64_t ay = 0;
    for (std::int32_t i = VisibleFirst; i <= last; ++i) {
        const std::int64_t bx = PointPixelX(i);
        const std::int64_t by = PointPixelY(i);
        if (bx == X && by == Y) return i;
        if (i > VisibleFirst) {
            const std::int64_t dx = bx - ax;
            const std::int64_t dy = by - ay;
            const std::int64_t cross = std::llabs((X - ax) * dy - (Y - ay) * dx);
            const bool within = X >= std::min(ax, bx) && X <= std::max(ax, bx) && Y >= std::min(ay, by) &&
                                Y <= std::max(ay, by);
            if (within && cross < std::max(std::llabs(dx), std::llabs(dy))) return i - 1;
        }
        ax = bx;
        ay = by;
    }
    return -1;
}

} // namespace rv
