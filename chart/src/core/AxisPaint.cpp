#include "AxisPaint.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include "rangeview/chart/Chart.h"
#include "rangeview/chart/Series.h"
#include "rangeview/common/Numeric.h"

namespace rv {

double FirstDefaultLabelValue(double minimum, double maximum, double step, bool roundFirstLabel) {
    if (minimum == maximum || !roundFirstLabel) return maximum;
    const double q = maximum / step;
    // A quotient beyond 64 bits cannot be truncated to an integer; the maximum itself is the
    // nearest sensible start then.
    if (!(std::abs(q) < 9.2e18)) return maximum;
    return static_cast<double>(Trunc(q)) * step;
}

namespace {

enum class Side { Bottom, Top, Left, Right };

Side AxisSide(const TCustomChartAxis& axis) {
    if (axis.IsHorizontal) return axis.IsFarSide ? Side::Top : Side::Bottom;
    return axis.IsFarSide ? Side::Right : Side::Left;
}

class AxisPainter {
public:
    AxisPainter(TCustomChartAxis& axis, TCanvas3D& canvas, TTickPositions& ticks)
        : axis_(axis), canvas_(canvas), ticks_(ticks), chart_(*axis.ParentChart()),
          side_(AxisSide(axis)) {}

    void Paint() {
        axis_.RefreshShowsDateTime();
        canvas_.SetFont(axis_.LabelsFont().Data());
        const double step = axis_.LabelStep();
        axis_.AxisLinePos = LinePosition();
        // Axis titles: room is reserved by the layout, but no axis here has a caption and the
        // surface draws no rotated text, so a caption is not drawn.
        ticks_.Clear();
        if (step > 0.0 && axis_.EffectiveMaximum >= axis_.EffectiveMinimum) {
            switch (axis_.EffectiveLabelStyle()) {
            case TAxisLabelStyle::talValue: ValueLabels(step); break;
            case TAxisLabelStyle::talMark:
            case TAxisLabelStyle::talText: PointLabels(); break;
            default: break;
            }
        }
        LinesTicksGrid();
    }

private:
    std::int32_t LinePosition() const {
        const TRect& r = chart_.ChartRect();
        const double pp = axis_.PositionPercent();
        auto shift = [pp](std::int32_t size) -> std::int32_t {
            return pp == 0.0 ? 0 : static_cast<std::int32_t>(RoundHalfEven(size * 0.01 * pp));
        };
        switch (side_) {
        case Side::Bottom: return r.Bottom - shift(chart_.ChartHeight());
        case Side::Top: return r.Top + shift(chart_.ChartHeight());
        case Side::Left: return r.Left + shift(chart_.ChartWidth());
        case Side::Right: return r.Right - shift(chart_.ChartWidth());
        }
        return 0;
    }

    void ValueLabels(double step) {
        ForEachDefaultLabelValue(axis_.EffectiveMinimum, axis_.EffectiveMaximum, step,
                                 axis_.RoundFirstLabel(),
                                 [this](double v) { PlaceLabel(v, nullptr); });
    }

    // Point labels of the first active series on this axis, at their values. Not used by this
    // program's axes; kept simple: one pass over the series' visible points.
    void PointLabels() {
        for (TChartSeries* s : chart_.SeriesList()) {
            if (!s->Active() || !s->IsAssociatedTo(&axis_)) continue;
            s->FindVisibleRange();
            if (s->VisibleFirst < 0) return;
            const std::int32_t last = std::min(s->VisibleLast, s->PointCount() - 1);
            const bool alongX = axis_.IsHorizontal == s->YMandatory();
            for (std::int32_t i = s->VisibleFirst; i <= last; ++i) {
                std::string text = s->PointLabel(i);
                if (text.empty()) continue;
                PlaceLabel(alongX ? s->PointX(i) : s->PointY(i), &text);
            }
            return;
        }
    }

    void PlaceLabel(double v, const std::string* text) {
        const std::int32_t p = axis_.ValueToPixel(v);
        if (!(axis_.LabelsOnAxis() || (axis_.StartPixel < p && p < axis_.EndPixel))) return;
        if (!axis_.TickOnLabelsOnly()) ticks_.Add(p);
        if (!axis_.Labels()) return;
        if (axis_.TickOnLabelsOnly()) ticks_.Add(p);
        if (text) {
            DrawLabelText(p, *text);
        } else {
            DrawLabelText(p, axis_.LabelTextFor(v));
        }
    }

    // Always level, whatever LabelsAngle says: no axis here turns its labels, and the surface
    // has no rotated text.
    void DrawLabelText(std::int32_t p, const std::string& text) {
        canvas_.SetBrush(chart_.Color(), TBrushStyle::bsClear);
        canvas_.SetBkMode(TBkMode::bkTransparent);
        canvas_.SetFont(axis_.LabelsFont().Data());
        const std::int32_t h = canvas_.FontHeight();
        const std::int32_t c = TCustomChartAxis::LineCount(text);
        if (c <= 0) return;
        std::int32_t x = 0;
        std::int32_t y = 0;
        switch (side_) {
        case Side::Bottom:
            canvas_.SetTextAlign(THorizTextAlign::taCenter, TVertTextAlign::taTop);
            x = p;
            y = axis_.LabelAnchor;
            break;
        case Side::Top:
            canvas_.SetTextAlign(THorizTextAlign::taCenter, TVertTextAlign::taBottom);
            x = p;
            y = axis_.LabelAnchor - (c - 1) * h;
            break;
        case Side::Left:
        case Side::Right:
            canvas_.SetTextAlign(side_ == Side::Left ? THorizTextAlign::taRight
                                                     : THorizTextAlign::taLeft,
                                 TVertTextAlign::taTop);
            x = axis_.LabelAnchor;
            y = p - h / 2 - static_cast<std::int32_t>(RoundHalfEven(h * 0.5 * (c + 1))) + h;
            break;
        }
        std::string_view rest(text);
        for (;;) {
            const std::size_t br = rest.find(LabelLineBreak);
            canvas_.TextOut(x, y, rest.substr(0, br));
            if (br == std::string_view::npos) break;
            rest.remove_prefix(br + 1);
            y += h;
        }
        canvas_.SetTextAlign(THorizTextAlign::taLeft, TVertTextAlign::taTop);
    }

    // A tick of `length` pixels from the axis line, away from the plot (outward) or into it.
    void Tick(std::int32_t p, std::int32_t length, bool outward) {
        const std::int32_t pos = axis_.AxisLinePos;
        // Direction away from the plot, per side.
        const std::int32_t out = (side_ == Side::Bottom || side_ == Side::Right) ? 1 : -1;
        const std::int32_t dir = outward ? out : -out;
        const std::int32_t from = pos + dir;
        const std::int32_t to = from + dir * length;
        if (axis_.IsHorizontal) {
            canvas_.VertLine(p, from, to);
        } else {
            canvas_.HorizLine(from, to, p);
        }
    }

    void GridLine(std::int32_t p) {
        const TRect& r = chart_.ChartRect();
        if (axis_.IsHorizontal) {
            canvas_.VertLine(p, r.Top, r.Bottom);
        } else {
            canvas_.HorizLine(r.Left, r.Right, p);
        }
    }

    void SelectGridPen(const TChartPen& pen) {
        TPenData data = pen.Data();
        if (data.Color == UseSeriesColor) data.Color = clGray;
        if (!data.Visible) data.Style = TPenStyle::psClear;
        canvas_.SetPen(data);
        canvas_.SetBkMode(TBkMode::bkTransparent);
        canvas_.SetBrush(canvas_.Brush().Color, TBrushStyle::bsClear);
    }

    bool StrictlyInside(std::int32_t p) const {
        const std::int32_t lo = std::min(axis_.StartPixel, axis_.EndPixel);
        const std::int32_t hi = std::max(axis_.StartPixel, axis_.EndPixel);
        return lo < p && p < hi;
    }

    template <class Draw> void ForEachMinorCandidate(Draw&& draw) const {
        const std::int32_t k = ticks_.Count;
        std::int32_t n = axis_.MinorTickCount();
        // More minor ticks than pixels along the axis only repeat pixels already ticked; the
        // bound keeps an absurd count from stalling the paint.
        n = std::min(n, std::max<std::int32_t>(std::abs(axis_.AxisPixels), 1));
        if (n <= 0 || k <= 0) return;
        const double parts = static_cast<double>(n) + 1.0;
        if (k > 1 && !axis_.Logarithmic()) {
            const double first = static_cast<double>(ticks_[1]) - ticks_[0];
            for (std::int32_t j = 1; j <= n; ++j) {
                const auto d = static_cast<std::int32_t>(RoundHalfEven(first / parts * j));
                draw(ticks_[0] - d);
                draw(ticks_[k - 1] + d);
            }
        }
        for (std::int32_t i = 1; i < k; ++i) {
            const double gap = static_cast<double>(ticks_[i]) - ticks_[i - 1];
            for (std::int32_t j = 1; j <= n; ++j) {
                draw(ticks_[i] - static_cast<std::int32_t>(RoundHalfEven(j * gap / parts)));
            }
        }
    }

    void LinesTicksGrid() {
        const std::int32_t pos = axis_.AxisLinePos;
        if (axis_.Axis().Visible()) {
            canvas_.AssignPen(axis_.Axis());
            if (axis_.IsHorizontal) {
                canvas_.HorizLine(axis_.StartPixel, axis_.EndPixel, pos);
            } else {
                canvas_.VertLine(pos, axis_.StartPixel, axis_.EndPixel);
            }
        }
        const std::int32_t k = ticks_.Count;
        if (axis_.Ticks().Visible() && k > 0) {
            canvas_.AssignPen(axis_.Ticks());
            for (std::int32_t i = 0; i < k; ++i) Tick(ticks_[i], axis_.TickLength(), true);
        }
        if (axis_.Grid().Visible() && k > 0) {
            SelectGridPen(axis_.Grid());
            if (axis_.GridCentered()) {
                for (std::int32_t i = 1; i < k; ++i) {
                    GridLine(static_cast<std::int32_t>(
                        RoundHalfEven((static_cast<double>(ticks_[i]) + ticks_[i - 1]) * 0.5)));
                }
            } else {
                for (std::int32_t i = 0; i < k; ++i) GridLine(ticks_[i]);
            }
            canvas_.SetBkMode(TBkMode::bkOpaque);
        }
        if (axis_.TicksInner().Visible() && k > 0) {
            canvas_.AssignPen(axis_.TicksInner());
            for (std::int32_t i = 0; i < k; ++i) Tick(ticks_[i], axis_.TickInnerLength(), false);
        }
        if (k > 0 && axis_.MinorTicks().Visible()) {
            canvas_.AssignPen(axis_.MinorTicks());
            const std::int32_t len = axis_.MinorTickLength();
            ForEachMinorCandidate([&](std::int32_t p) {
                if (StrictlyInside(p)) Tick(p, len, true);
            });
        }
        if (k > 0 && axis_.MinorGrid().Visible()) {
            SelectGridPen(axis_.MinorGrid());
            ForEachMinorCandidate([&](std::int32_t p) {
                if (StrictlyInside(p)) GridLine(p);
            });
            canvas_.SetBkMode(TBkMode::bkOpaque);
        }
    }

    TCustomChartAxis& axis_;
    TCanvas3D& canvas_;
    TTickPositions& ticks_;
    TCustomAxisPanel& chart_;
    Side side_;
};

} // namespace

void PaintAxis(TCustomChartAxis& axis, TCanvas3D& canvas, TTickPositions& ticks) {
    ticks.Clear();
    if (!axis.ParentChart()) return;
    AxisPainter(axis, canvas, ticks).Paint();
}

} // namespace rv
