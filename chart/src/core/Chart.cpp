#include "rangeview/chart/Chart.h"

#include <algorithm>

#include "rangeview/chart/Errors.h"

namespace rv {

TCustomAxisPanel::TCustomAxisPanel()
{
    // Made here rather than in the initialiser list: their setters call back into the panel,
    // whose flags must already hold their values.
    BottomAxis_ = std::make_unique<TChartAxis>(this, true, false);
    TopAxis_ = std::make_unique<TChartAxis>(this, true, true);
    LeftAxis_ = std::make_unique<TChartAxis>(this, false, false);
    RightAxis_ = std::make_unique<TChartAxis>(this, false, true);
    DepthAxis_ = std::make_unique<TChartDepthAxis>(this);
    LeftAxis_->Title().SetAngle(90);
    RightAxis_->Title().SetAngle(270);
    Axes_ = {BottomAxis_.get(), TopAxis_.get(), LeftAxis_.get(), RightAxis_.get(),
             DepthAxis_.get()};
    SetChartRect(ChartRect_);
    // Repaint requests count only once the panel is fully made.
    AutoRepaint_ = true;
}

TCustomAxisPanel::~TCustomAxisPanel()
{
    Destroying_ = true;
    Owned_.clear();
    for (TChartSeries* s : Series_)
        s->DetachFromChart();
    Series_.clear();
}

template <class T>
void TCustomAxisPanel::Store(T& field, const T& value)
{
    if (field == value)
        return;
    field = value;
    Invalidate();
}

// --- axes ---------------------------------------------------------------------------------------

bool TCustomAxisPanel::IsAxisVisible(const TCustomChartAxis& axis) const
{
    if (!AxisVisible_ || !axis.Visible())
        return false;
    if (&axis == DepthAxis_.get())
        return View3D_;
    if (!HasActiveSeries())
        return true;
    return std::any_of(Series_.begin(), Series_.end(), [&](const TChartSeries* s) {
        return s->Active() && s->IsAssociatedTo(&axis);
    });
}

// --- series -------------------------------------------------------------------------------------

TChartSeries* TCustomAxisPanel::Series(std::int32_t index) const
{
    if (index < 0 || index >= SeriesCount())
        throw EListError(index);
    return Series_[static_cast<std::size_t>(index)];
}

void TCustomAxisPanel::AddSeries(TChartSeries* series)
{
    if (series)
        series->SetParentChart(this);
}

void TCustomAxisPanel::RemoveSeries(TChartSeries* series)
{
    if (series && series->ParentChart() == this)
        series->SetParentChart(nullptr);
}

void TCustomAxisPanel::AttachSeries(TChartSeries* series)
{
    if (std::find(Series_.begin(), Series_.end(), series) != Series_.end())
        return;
    const TColor freeColor = GetFreeSeriesColor();
    Series_.push_back(series);
    if (series->SeriesColor() == UseSeriesColor)
        series->SetSeriesColor(freeColor);
    Invalidate();
}

void TCustomAxisPanel::DetachSeries(TChartSeries* series)
{
    const auto it = std::find(Series_.begin(), Series_.end(), series);
    if (it == Series_.end())
        return;
    Series_.erase(it);
    Invalidate();
}

bool TCustomAxisPanel::HasActiveSeries() const
{
    return std::any_of(Series_.begin(), Series_.end(),
                       [](const TChartSeries* s) { return s->Active(); });
}

TColor TCustomAxisPanel::GetFreeSeriesColor() const
{
    for (std::int32_t i = 0;; ++i) {
        const TColor c = TChartSeries::PaletteColor(i);
        const bool used = std::any_of(Series_.begin(), Series_.end(),
                                      [c](const TChartSeries* s) { return s->SeriesColor() == c; });
        if (!used)
            return c;
        if (i > SeriesCount())
            return TChartSeries::PaletteColor(SeriesCount());
    }
}

std::int32_t TCustomAxisPanel::MaxPointLabelWidth() const
{
    if (!TextMeasure_)
        return 0;
    std::int32_t widest = 0;
    for (const TChartSeries* s : Series_) {
        for (std::int32_t i = 0; i < s->PointCount(); ++i) {
            widest = std::max(widest, WidestLabelLine(*TextMeasure_, s->PointLabel(i)));
        }
    }
    return widest;
}

// --- size and rectangles ----------------------------------------------------------------------------

void TCustomAxisPanel::SetSize(std::int32_t width, std::int32_t height)
{
    if (width == Width_ && height == Height_)
        return;
    Width_ = width;
    Height_ = height;
    Invalidate();
}

void TCustomAxisPanel::SetChartRect(const TRect& r)
{
    TRect n = r;
    if (n.Left < ChartBounds.Left)
        n.Left = ChartBounds.Left;
    if (n.Top < ChartBounds.Top)
        n.Top = ChartBounds.Top;
    if (n.Right < n.Left)
        n.Right = n.Left + 1;
    else if (n.Right == n.Left)
        n.Right = n.Left + Width_;
    if (n.Bottom < n.Top)
        n.Bottom = n.Top + 1;
    else if (n.Bottom == n.Top)
        n.Bottom = n.Top + Height_;
    // A control of no size would still leave an empty rectangle: keep one pixel.
    if (n.Right <= n.Left)
        n.Right = n.Left + 1;
    if (n.Bottom <= n.Top)
        n.Bottom = n.Top + 1;
    ChartRect_ = n;
    ChartWidth_ = n.Right - n.Left;
    ChartHeight_ = n.Bottom - n.Top;
    ChartXCenter_ = static_cast<std::int32_t>((std::int64_t{n.Left} + n.Right) / 2);
    ChartYCenter_ = static_cast<std::int32_t>((std::int64_t{n.Top} + n.Bottom) / 2);
}

// --- panel properties ---------------------------------------------------------------------------------

void TCustomAxisPanel::SetMarginLeft(std::int32_t v)
{
    Store(MarginLeft_, v);
}
void TCustomAxisPanel::SetMarginTop(std::int32_t v)
{
    Store(MarginTop_, v);
}
void TCustomAxisPanel::SetMarginRight(std::int32_t v)
{
    Store(MarginRight_, v);
}
void TCustomAxisPanel::SetMarginBottom(std::int32_t v)
{
    Store(MarginBottom_, v);
}
void TCustomAxisPanel::SetBorderWidth(std::int32_t v)
{
    Store(BorderWidth_, v);
}
void TCustomAxisPanel::SetBevelOuter(TPanelBevel v)
{
    Store(BevelOuter_, v);
}
void TCustomAxisPanel::SetBevelInner(TPanelBevel v)
{
    Store(BevelInner_, v);
}
void TCustomAxisPanel::SetBevelWidth(std::int32_t v)
{
    Store(BevelWidth_, v);
}
void TCustomAxisPanel::SetColor(TColor v)
{
    Store(Color_, v);
}
void TCustomAxisPanel::SetAxisVisible(bool v)
{
    Store(AxisVisible_, v);
}
void TCustomAxisPanel::SetClipPoints(bool v)
{
    Store(ClipPoints_, v);
}
void TCustomAxisPanel::SetView3D(bool v)
{
    Store(View3D_, v);
}

// --- repainting -------------------------------------------------------------------------------------

void TCustomAxisPanel::Invalidate()
{
    // During destruction the control behind OnRequestRepaint may already be gone.
    if (!AutoRepaint_ || Destroying_)
        return;
    ++RepaintRequests_;
    if (OnRequestRepaint)
        OnRequestRepaint();
}

void TCustomAxisPanel::Repaint()
{
    if (!AutoRepaint_ || Destroying_)
        return;
    if (!OnRepaintNow) {
        Invalidate();
        return;
    }
    ++RepaintsNow_;
    OnRepaintNow();
}

void TCustomAxisPanel::DrawNewValueNow(TChartSeries&, std::int32_t)
{
}

// --- layout -------------------------------------------------------------------------------------------

void TCustomAxisPanel::LayoutPlotArea()
{
    for (TCustomChartAxis* axis : Axes_)
        axis->AdjustRange();
    ReserveAxesSpace();
    for (TCustomChartAxis* axis : Axes_)
        axis->ComputePixelSpan();
    ApplySeriesMargins();
}

void TCustomAxisPanel::ReserveAxesSpace()
{
    TRect r = ChartRect_;
    for (TCustomChartAxis* axis : Axes_) {
        if (!IsAxisVisible(*axis))
            continue;
        TRect t = r;
        axis->ReserveSpace(t);
        const TRect overlap = IntersectRect(t, r);
        if (!overlap.IsEmpty())
            r = overlap;
    }
    SetChartRect(r);
}

void TCustomAxisPanel::ApplySeriesMargins()
{
    for (TCustomChartAxis* axis :
         {TopAxis_.get(), LeftAxis_.get(), RightAxis_.get(), BottomAxis_.get()}) {
        ApplyAxisMargins(*axis);
    }
}

void TCustomAxisPanel::ApplyAxisMargins(TCustomChartAxis& axis)
{
    // Margins on the pixel sides: start (left or top) and end (right or bottom).
    std::int32_t atStart = 0;
    std::int32_t atEnd = 0;
    for (const TChartSeries* s : Series_) {
        if (!s->Active() || !s->IsAssociatedTo(&axis))
            continue;
        std::int32_t a = 0;
        std::int32_t b = 0;
        if (axis.IsHorizontal)
            s->HorizMargins(a, b);
        else
            s->VertMargins(a, b);
        atStart = std::max(atStart, a);
        atEnd = std::max(atEnd, b);
    }
    if (atStart == 0 && atEnd == 0)
        return;
    // Which end of the value range sits at the start pixel.
    const bool startIsMinimum = axis.IsHorizontal != axis.Inverted();
    const bool minAuto = axis.Automatic() || axis.AutomaticMinimum();
    const bool maxAuto = axis.Automatic() || axis.AutomaticMaximum();
    const bool startAuto = startIsMinimum ? minAuto : maxAuto;
    const bool endAuto = startIsMinimum ? maxAuto : minAuto;
    if ((!startAuto || atStart == 0) && (!endAuto || atEnd == 0))
        return;

    const std::int32_t oldStart = axis.StartPixel;
    const std::int32_t oldEnd = axis.EndPixel;
    if (startAuto)
        axis.StartPixel += atStart;
    if (endAuto)
        axis.EndPixel -= atEnd;
    axis.AxisPixels = axis.EndPixel - axis.StartPixel;
    double a = axis.PixelToValue(oldStart);
    double b = axis.PixelToValue(oldEnd);
    if (a > b)
        std::swap(a, b);
    axis.EffectiveMinimum = a;
    axis.EffectiveMaximum = b;
    axis.EffectiveRange = b - a;
    axis.ComputePixelSpan();
}

} // namespace rv
