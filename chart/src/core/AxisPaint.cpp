#include "AxisPaint.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include "rangeview/chart/Chart.h"
#include "rangeview/chart/Series.h"
#include "rangeview/common/Numeric.h"

namespace rv {

double FirstDefaultLabelValue(double minimum, double maximum, double step, bool roundFirstLabel)
{
    if (minimum == maximum || !roundFirstLabel)
        return maximum;
    const double q = maximum / step;
    // A quotient beyond 64 bits cannot be truncated to an integer; the maximum itself is the
    // nearest sensible start then.
    if (!(std::abs(q) < 9.2e18))
        return maximum;
    return static_cast<double>(Trunc(q)) * step;
}

namespace {

enum class Side { Bottom, Top, Left, Right };

Side AxisSide(const TCustomChartAxis& axis)
{
    if (axis.IsHorizontal)
        return axis.IsFarSide ? Side::Top : Side::Bottom;
    return axis.IsFarSide ? Side::Right : Side::Left;
}

class AxisPainter {
public:
    AxisPainter(TCustomChartAxis& axis, TCanvas3D& canvas, TTickPositions& ticks)
        : Axis_(axis), Canvas_(canvas), Ticks_(ticks), Chart_(*axis.ParentChart()),
          Side_(AxisSide(axis))
    {
    }

    void Paint()
    {
        Axis_.RefreshShowsDateTime();
        Canvas_.SetFont(Axis_.LabelsFont().Data());
        const double step = Axis_.LabelStep();
        Axis_.AxisLinePos = LinePosition();
        // Axis titles: room is reserved by the layout, but no axis here has a caption and the
        // surface draws no rotated text, so a caption is not drawn.
        Ticks_.Clear();
        if (step > 0.0 && Axis_.EffectiveMaximum >= Axis_.EffectiveMinimum) {
            switch (Axis_.EffectiveLabelStyle()) {
            case TAxisLabelStyle::talValue:
                ValueLabels(step);
                break;
            case TAxisLabelStyle::talMark:
            case TAxisLabelStyle::talText:
                PointLabels();
                break;
            default:
                break;
            }
        }
        LinesTicksGrid();
    }

private:
    std::int32_t LinePosition() const
    {
        const TRect& r = Chart_.ChartRect();
        const double pp = Axis_.PositionPercent();
        auto shift = [pp](std::int32_t size) -> std::int32_t {
            return pp == 0.0 ? 0 : static_cast<std::int32_t>(RoundHalfEven(size * 0.01 * pp));
        };
        switch (Side_) {
        case Side::Bottom:
            return r.Bottom - shift(Chart_.ChartHeight());
        case Side::Top:
            return r.Top + shift(Chart_.ChartHeight());
        case Side::Left:
            return r.Left + shift(Chart_.ChartWidth());
        case Side::Right:
            return r.Right - shift(Chart_.ChartWidth());
        }
        return 0;
    }

    void ValueLabels(double step)
    {
        ForEachDefaultLabelValue(Axis_.EffectiveMinimum, Axis_.EffectiveMaximum, step,
                                 Axis_.RoundFirstLabel(),
                                 [this](double v) { PlaceLabel(v, nullptr); });
    }

    // Point labels of the first active series on this axis, at their values. Not used by this
    // program's axes; kept simple: one pass over the series' visible points.
    void PointLabels()
    {
        for (TChartSeries* s : Chart_.SeriesList()) {
            if (!s->Active() || !s->IsAssociatedTo(&Axis_))
                continue;
            s->FindVisibleRange();
            if (s->VisibleFirst < 0)
                return;
            const std::int32_t last = std::min(s->VisibleLast, s->PointCount() - 1);
            const bool alongX = Axis_.IsHorizontal == s->YMandatory();
            for (std::int32_t i = s->VisibleFirst; i <= last; ++i) {
                std::string text = s->PointLabel(i);
                if (text.empty())
                    continue;
                PlaceLabel(alongX ? s->PointX(i) : s->PointY(i), &text);
            }
            return;
        }
    }

    void PlaceLabel(double v, const std::string* text)
    {
        const std::int32_t p = Axis_.ValueToPixel(v);
        if (!(Axis_.LabelsOnAxis() || (Axis_.StartPixel < p && p < Axis_.EndPixel)))
            return;
        if (!Axis_.TickOnLabelsOnly())
            Ticks_.Add(p);
        if (!Axis_.Labels())
            return;
        if (Axis_.TickOnLabelsOnly())
            Ticks_.Add(p);
        if (text) {
            DrawLabelText(p, *text);
        } else {
            DrawLabelText(p, Axis_.LabelTextFor(v));
        }
    }

    // Always level, whatever LabelsAngle says: no axis here turns its labels, and the surface
    // has no rotated text.
    void DrawLabelText(std::int32_t p, const std::string& text)
    {
        Canvas_.SetBrush(Chart_.Color(), TBrushStyle::bsClear);
        Canvas_.SetBkMode(TBkMode::bkTransparent);
        Canvas_.SetFont(Axis_.LabelsFont().Data());
        const std::int32_t h = Canvas_.FontHeight();
        const std::int32_t c = TCustomChartAxis::LineCount(text);
        if (c <= 0)
            return;
        std::int32_t x = 0;
        std::int32_t y = 0;
        switch (Side_) {
        case Side::Bottom:
            Canvas_.SetTextAlign(THorizTextAlign::taCenter, TVertTextAlign::taTop);
            x = p;
            y = Axis_.LabelAnchor;
            break;
        case Side::Top:
            Canvas_.SetTextAlign(THorizTextAlign::taCenter, TVertTextAlign::taBottom);
            x = p;
            y = Axis_.LabelAnchor - (c - 1) * h;
            break;
        case Side::Left:
        case Side::Right:
            Canvas_.SetTextAlign(Side_ == Side::Left ? THorizTextAlign::taRight
                                                     : THorizTextAlign::taLeft,
                                 TVertTextAlign::taTop);
            x = Axis_.LabelAnchor;
            y = p - h / 2 - static_cast<std::int32_t>(RoundHalfEven(h * 0.5 * (c + 1))) + h;
            break;
        }
        std::string_view rest(text);
        for (;;) {
            const std::size_t br = rest.find(LabelLineBreak);
            Canvas_.TextOut(x, y, rest.substr(0, br));
            if (br == std::string_view::npos)
                break;
            rest.remove_prefix(br + 1);
            y += h;
        }
        Canvas_.SetTextAlign(THorizTextAlign::taLeft, TVertTextAlign::taTop);
    }

    // A tick of `length` pixels from the axis line, away from the plot (outward) or into it.
    void Tick(std::int32_t p, std::int32_t length, bool outward)
    {
        const std::int32_t pos = Axis_.AxisLinePos;
        // Direction away from the plot, per side.
        const std::int32_t out = (Side_ == Side::Bottom || Side_ == Side::Right) ? 1 : -1;
        const std::int32_t dir = outward ? out : -out;
        const std::int32_t from = pos + dir;
        const std::int32_t to = from + dir * length;
        if (Axis_.IsHorizontal) {
            Canvas_.VertLine(p, from, to);
        } else {
            Canvas_.HorizLine(from, to, p);
        }
    }

    void GridLine(std::int32_t p)
    {
        const TRect& r = Chart_.ChartRect();
        if (Axis_.IsHorizontal) {
            Canvas_.VertLine(p, r.Top, r.Bottom);
        } else {
            Canvas_.HorizLine(r.Left, r.Right, p);
        }
    }

    void SelectGridPen(const TChartPen& pen)
    {
        TPenData data = pen.Data();
        if (data.Color == UseSeriesColor)
            data.Color = clGray;
        if (!data.Visible)
            data.Style = TPenStyle::psClear;
        Canvas_.SetPen(data);
        Canvas_.SetBkMode(TBkMode::bkTransparent);
        Canvas_.SetBrush(Canvas_.Brush().Color, TBrushStyle::bsClear);
    }

    bool StrictlyInside(std::int32_t p) const
    {
        const std::int32_t lo = std::min(Axis_.StartPixel, Axis_.EndPixel);
        const std::int32_t hi = std::max(Axis_.StartPixel, Axis_.EndPixel);
        return lo < p && p < hi;
    }

    template <class Draw>
    void ForEachMinorCandidate(Draw&& draw) const
    {
        const std::int32_t k = Ticks_.Count;
        std::int32_t n = Axis_.MinorTickCount();
        // More minor ticks than pixels along the axis only repeat pixels already ticked; the
        // bound keeps an absurd count from stalling the paint.
        n = std::min(n, std::max<std::int32_t>(std::abs(Axis_.AxisPixels), 1));
        if (n <= 0 || k <= 0)
            return;
        const double parts = static_cast<double>(n) + 1.0;
        if (k > 1 && !Axis_.Logarithmic()) {
            const double first = static_cast<double>(Ticks_[1]) - Ticks_[0];
            for (std::int32_t j = 1; j <= n; ++j) {
                const auto d = static_cast<std::int32_t>(RoundHalfEven(first / parts * j));
                draw(Ticks_[0] - d);
                draw(Ticks_[k - 1] + d);
            }
        }
        for (std::int32_t i = 1; i < k; ++i) {
            const double gap = static_cast<double>(Ticks_[i]) - Ticks_[i - 1];
            for (std::int32_t j = 1; j <= n; ++j) {
                draw(Ticks_[i] - static_cast<std::int32_t>(RoundHalfEven(j * gap / parts)));
            }
        }
    }

    void LinesTicksGrid()
    {
        const std::int32_t pos = Axis_.AxisLinePos;
        if (Axis_.Axis().Visible()) {
            Canvas_.AssignPen(Axis_.Axis());
            if (Axis_.IsHorizontal) {
                Canvas_.HorizLine(Axis_.StartPixel, Axis_.EndPixel, pos);
            } else {
                Canvas_.VertLine(pos, Axis_.StartPixel, Axis_.EndPixel);
            }
        }
        const std::int32_t k = Ticks_.Count;
        if (Axis_.Ticks().Visible() && k > 0) {
            Canvas_.AssignPen(Axis_.Ticks());
            for (std::int32_t i = 0; i < k; ++i)
                Tick(Ticks_[i], Axis_.TickLength(), true);
        }
        if (Axis_.Grid().Visible() && k > 0) {
            SelectGridPen(Axis_.Grid());
            if (Axis_.GridCentered()) {
                for (std::int32_t i = 1; i < k; ++i) {
                    GridLine(static_cast<std::int32_t>(
                        RoundHalfEven((static_cast<double>(Ticks_[i]) + Ticks_[i - 1]) * 0.5)));
                }
            } else {
                for (std::int32_t i = 0; i < k; ++i)
                    GridLine(Ticks_[i]);
            }
            Canvas_.SetBkMode(TBkMode::bkOpaque);
        }
        if (Axis_.TicksInner().Visible() && k > 0) {
            Canvas_.AssignPen(Axis_.TicksInner());
            for (std::int32_t i = 0; i < k; ++i)
                Tick(Ticks_[i], Axis_.TickInnerLength(), false);
        }
        if (k > 0 && Axis_.MinorTicks().Visible()) {
            Canvas_.AssignPen(Axis_.MinorTicks());
            const std::int32_t len = Axis_.MinorTickLength();
            ForEachMinorCandidate([&](std::int32_t p) {
                if (StrictlyInside(p))
                    Tick(p, len, true);
            });
        }
        if (k > 0 && Axis_.MinorGrid().Visible()) {
            SelectGridPen(Axis_.MinorGrid());
            ForEachMinorCandidate([&](std::int32_t p) {
                if (StrictlyInside(p))
                    GridLine(p);
            });
            Canvas_.SetBkMode(TBkMode::bkOpaque);
        }
    }

    TCustomChartAxis& Axis_;
    TCanvas3D& Canvas_;
    TTickPositions& Ticks_;
    TCustomAxisPanel& Chart_;
    Side Side_;
};

} // namespace

void PaintAxis(TCustomChartAxis& axis, TCanvas3D& canvas, TTickPositions& ticks)
{
    ticks.Clear();
    if (!axis.ParentChart())
        return;
    AxisPainter(axis, canvas, ticks).Paint();
}

} // namespace rv
