#include "rangeview/chart/Axis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "rangeview/chart/Chart.h"
#include "rangeview/chart/NumberFormat.h"
#include "rangeview/chart/Series.h"
#include "rangeview/common/Numeric.h"

namespace rv {

namespace {

// Round half to even, saturated to the 32-bit range; NaN gives 0.
std::int32_t RoundToInt32(double x) {
    if (std::isnan(x)) return 0;
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    if (x <= lo) return std::numeric_limits<std::int32_t>::min();
    if (x >= hi) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(RoundHalfEven(x));
}

std::int32_t ClampToInt32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

std::int32_t NormalAngle(std::int32_t angle) { return ((angle % 360) + 360) % 360; }

bool IsUpright(std::int32_t angle) {
    const std::int32_t a = NormalAngle(angle);
    return a == 0 || a == 180;
}

bool IsSideways(std::int32_t angle) {
    const std::int32_t a = NormalAngle(angle);
    return a == 90 || a == 270;
}

// Puts the chart's label handler aside for the life of the object.
class DetachedLabelHandler {
public:
    explicit DetachedLabelHandler(TCustomAxisPanel* chart) : chart_(chart) {
        if (chart_) saved_ = std::exchange(chart_->OnGetAxisLabel, nullptr);
    }
    ~DetachedLabelHandler() {
        if (chart_) chart_->OnGetAxisLabel = std::move(saved_);
    }
    DetachedLabelHandler(const DetachedLabelHandler&) = delete;
    DetachedLabelHandler& operator=(const DetachedLabelHandler&) = delete;

private:
    TCustomAxisPanel* chart_;
    TAxisLabelEvent saved_;
};

} // namespace

// --- title ------------------------------------------------------------------------------------

TChartAxisTitle::TChartAxisTitle(std::int32_t angle) : angle_(angle) {
    font_.OnChange = [this] {
        if (OnChange) OnChange();
    };
}

void TChartAxisTitle::Assign(const TChartAxisTitle& source) {
    caption_ = source.caption_;
    angle_ = source.angle_;
    font_.Assign(source.font_);
    if (OnChange) OnChange();
}

void TChartAxisTitle::SetCaption(const std::string& value) {
    if (value == caption_) return;
    caption_ = value;
    if (OnChange) OnChange();
}

void TChartAxisTitle::SetAngle(std::int32_t value) {
    if (value == angle_) return;
    angle_ = value;
    if (OnChange) OnChange();
}

// --- construction -------------------------------------------------------------------------------

TCustomChartAxis::TCustomChartAxis(TCustomAxisPanel* chart, bool horizontal, bool farSide)
    : IsHorizontal(horizontal), IsFarSide(farSide), chart_(chart) {
    const auto changed = [this] { Changed(); };
    axisPen_.OnChange = changed;
    grid_.OnChange = changed;
    labelsFont_.OnChange = changed;
    minorGrid_.OnChange = changed;
    minorTicks_.OnChange = changed;
    ticks_.OnChange = changed;
    ticksInner_.OnChange = changed;
    title_.OnChange = changed;
}

TChartDepthAxis::TChartDepthAxis(TCustomAxisPanel* chart) : TCustomChartAxis(chart, false, true) {
    SetVisible(false);
}

void TCustomChartAxis::Changed() {
    if (chart_) chart_->Invalidate();
}

template <class T> void TCustomChartAxis::Store(T& field, const T& value) {
    if (field == value) return;
    field = value;
    Changed();
}

void TCustomChartAxis::Assign(const TCustomChartAxis& s) {
    automatic_ = s.automatic_;
    automaticMaximum_ = s.automaticMaximum_;
    automaticMinimum_ = s.automaticMinimum_;
    axisPen_.Assign(s.axisPen_);
    axisValuesFormat_ = s.axisValuesFormat_;
    dateTimeFormat_ = s.dateTimeFormat_;
    exactDateTime_ = s.exactDateTime_;
    grid_.Assign(s.grid_);
    gridCentered_ = s.gridCentered_;
    increment_ = s.increment_;
    inverted_ = s.inverted_;
    labels_ = s.labels_;
    labelsAngle_ = s.labelsAngle_;
    labelsFont_.Assign(s.labelsFont_);
    labelsMultiLine_ = s.labelsMultiLine_;
    labelsOnAxis_ = s.labelsOnAxis_;
    labelsSeparation_ = s.labelsSeparation_;
    labelsSize_ = s.labelsSize_;
    labelStyle_ = s.labelStyle_;
    logarithmic_ = s.logarithmic_;
    logarithmicBase_ = s.logarithmicBase_;
    maximum_ = s.maximum_;
    minimum_ = s.minimum_;
    minorGrid_.Assign(s.minorGrid_);
    minorTickCount_ = s.minorTickCount_;
    minorTickLength_ = s.minorTickLength_;
    minorTicks_.Assign(s.minorTicks_);
    startPosition_ = s.startPosition_;
    endPosition_ = s.endPosition_;
    positionPercent_ = s.positionPercent_;
    roundFirstLabel_ = s.roundFirstLabel_;
    tickInnerLength_ = s.tickInnerLength_;
    tickLength_ = s.tickLength_;
    tickOnLabelsOnly_ = s.tickOnLabelsOnly_;
    ticks_.Assign(s.ticks_);
    ticksInner_.Assign(s.ticksInner_);
    title_.Assign(s.title_);
    titleSize_ = s.titleSize_;
    visible_ = s.visible_;
    Changed();
}

// --- property writes ------------------------------------------------------------------------------

void TCustomChartAxis::SetAutomatic(bool value) {
    Store(automatic_, value);
    // While the chart loads its settings, AutomaticMinimum and AutomaticMaximum are given their
    // own values; Automatic must not overwrite them.
    if (chart_ && chart_->Loading()) return;
    automaticMinimum_ = value;
    automaticMaximum_ = value;
}

void TCustomChartAxis::SetAutomaticMinimum(bool value) {
    Store(automaticMinimum_, value);
    const bool before = automatic_;
    if (!value) automatic_ = false;
    else if (automaticMaximum_) automatic_ = true;
    if (automatic_ != before) Changed();
}

void TCustomChartAxis::SetAutomaticMaximum(bool value) {
    Store(automaticMaximum_, value);
    const bool before = automatic_;
    if (!value) automatic_ = false;
    else if (automaticMinimum_) automatic_ = true;
    if (automatic_ != before) Changed();
}

void TCustomChartAxis::SetMinimum(double value) {
    if (!(chart_ && chart_->Loading()) && value > maximum_) {
        throw AxisException("Axis Minimum Value must be <= Maximum");
    }
    Store(minimum_, value);
}

void TCustomChartAxis::SetMaximum(double value) {
    if (!(chart_ && chart_->Loading()) && value < minimum_) {
        throw AxisException("Axis Maximum Value must be >= Minimum");
    }
    Store(maximum_, value);
}

void TCustomChartAxis::SetIncrement(double value) {
    if (value < 0) throw AxisException("Axis increment must be >= 0");
    Store(increment_, value);
}

void TCustomChartAxis::SetLabelsSeparation(std::int32_t value) {
    if (value < 0) throw AxisException("Labels Separation % must be greater than 0");
    Store(labelsSeparation_, value);
}

void TCustomChartAxis::SetAxisValuesFormat(const std::string& value) { Store(axisValuesFormat_, value); }
void TCustomChartAxis::SetDateTimeFormat(const std::string& value) { Store(dateTimeFormat_, value); }
void TCustomChartAxis::SetExactDateTime(bool value) { Store(exactDateTime_, value); }
void TCustomChartAxis::SetGridCentered(bool value) { Store(gridCentered_, value); }
void TCustomChartAxis::SetInverted(bool value) { Store(inverted_, value); }
void TCustomChartAxis::SetLabels(bool value) { Store(labels_, value); }
void TCustomChartAxis::SetLabelsAngle(std::int32_t value) { Store(labelsAngle_, value); }
void TCustomChartAxis::SetLabelsMultiLine(bool value) { Store(labelsMultiLine_, value); }
void TCustomChartAxis::SetLabelsOnAxis(bool value) { Store(labelsOnAxis_, value); }
void TCustomChartAxis::SetLabelsSize(std::int32_t value) { Store(labelsSize_, value); }
void TCustomChartAxis::SetLabelStyle(TAxisLabelStyle value) { Store(labelStyle_, value); }
void TCustomChartAxis::SetLogarithmic(bool value) { Store(logarithmic_, value); }
void TCustomChartAxis::SetLogarithmicBase(std::int32_t value) { Store(logarithmicBase_, value); }
void TCustomChartAxis::SetMinorTickCount(std::int32_t value) { Store(minorTickCount_, value); }
void TCustomChartAxis::SetMinorTickLength(std::int32_t value) { Store(minorTickLength_, value); }
void TCustomChartAxis::SetStartPosition(double value) { Store(startPosition_, value); }
void TCustomChartAxis::SetEndPosition(double value) { Store(endPosition_, value); }
void TCustomChartAxis::SetPositionPercent(double value) { Store(positionPercent_, value); }
void TCustomChartAxis::SetRoundFirstLabel(bool value) { Store(roundFirstLabel_, value); }
void TCustomChartAxis::SetTickInnerLength(std::int32_t value) { Store(tickInnerLength_, value); }
void TCustomChartAxis::SetTickLength(std::int32_t value) { Store(tickLength_, value); }
void TCustomChartAxis::SetTickOnLabelsOnly(bool value) { Store(tickOnLabelsOnly_, value); }
void TCustomChartAxis::SetTitleSize(std::int32_t value) { Store(titleSize_, value); }
void TCustomChartAxis::SetVisible(bool value) { Store(visible_, value); }

// --- range ----------------------------------------------------------------------------------------

void TCustomChartAxis::SetRange(double Low, double High) {
    automatic_ = automaticMinimum_ = automaticMaximum_ = false;
    if (Low > High) std::swap(Low, High);
    Store(minimum_, Low);
    Store(maximum_, High);
    if (maximum_ - minimum_ < 1e-10) Store(maximum_, minimum_ + 1e-10);
}

void TCustomChartAxis::ScrollBy(double Offset, bool CheckLimits) {
    if (CheckLimits) {
        if (Offset > 0 && !(DataMaximum() > maximum_)) return;
        if (Offset == 0) return;
        if (Offset < 0 && !(DataMinimum() < minimum_)) return;
    }
    automatic_ = automaticMinimum_ = automaticMaximum_ = false;
    maximum_ += Offset;
    minimum_ += Offset;
    if (chart_) chart_->Repaint();
}

namespace {
// Largest (wantMax) or smallest value over the series lying on the axis.
double DataExtreme(const TCustomChartAxis& axis, const TCustomAxisPanel* chart, bool wantMax) {
    if (!chart) return 0.0;
    bool anyActive = false;
    for (TChartSeries* s : chart->SeriesList()) {
        if (s->Active() && s->IsAssociatedTo(&axis)) {
            anyActive = true;
            break;
        }
    }
    bool found = false;
    double result = 0.0;
    for (TChartSeries* s : chart->SeriesList()) {
        if ((anyActive && !s->Active()) || s->PointCount() < 1 || !s->IsAssociatedTo(&axis)) continue;
        const double v = axis.IsHorizontal ? (wantMax ? s->HighestX() : s->LowestX())
                                           : (wantMax ? s->HighestY() : s->LowestY());
        if (!found || (wantMax ? v > result : v < result)) result = v;
        found = true;
    }
    return result;
}
} // namespace

double TCustomChartAxis::DataMaximum() const { return DataExtreme(*this, chart_, true); }
double TCustomChartAxis::DataMinimum() const { return DataExtreme(*this, chart_, false); }

void TCustomChartAxis::AdjustRange() {
    if (automatic_ || automaticMaximum_) maximum_ = DataMaximum();
    if (automatic_ || automaticMinimum_) minimum_ = DataMinimum();
    EffectiveMaximum = maximum_;
    EffectiveMinimum = minimum_;
    EffectiveRange = EffectiveMaximum - EffectiveMinimum;
}

void TCustomChartAxis::ComputePixelSpan() {
    if (!chart_) return;
    const TRect& r = chart_->ChartRect();
    const std::int32_t origin = IsHorizontal ? r.Left : r.Top;
    const std::int32_t size = IsHorizontal ? chart_->ChartWidth() : chart_->ChartHeight();
    StartPixel = ClampToInt32(std::int64_t{origin} + RoundToInt32(size * 0.01 * startPosition_));
    EndPixel = ClampToInt32(std::int64_t{origin} + RoundToInt32(size * 0.01 * endPosition_));
    AxisPixels = ClampToInt32(std::int64_t{EndPixel} - StartPixel);
    CenterPixel = static_cast<std::int32_t>((std::int64_t{StartPixel} + EndPixel) / 2);
}

std::int32_t TCustomChartAxis::ValueToPixel(double Value) const {
    if (EffectiveRange == 0) return CenterPixel;
    const double t = (Value - EffectiveMinimum) * AxisPixels / EffectiveRange;
    // Also catches NaN, which would otherwise reach the integer conversion.
    if (!(std::fabs(t) < 2147483647.0)) return CenterPixel;
    const std::int64_t r = RoundHalfEvenSmall(t);
    const bool fromStart = IsHorizontal ? !inverted_ : inverted_;
    // The sum can leave the 32-bit range near the extremes; it is saturated rather than wrapped.
    return ClampToInt32(fromStart ? StartPixel + r : EndPixel - r);
}

double TCustomChartAxis::PixelToValue(std::int32_t Pixel) const {
    if (AxisPixels < 1) return 0.0;
    const double offset = inverted_ ? static_cast<double>(std::int64_t{EndPixel} - Pixel)
                                    : static_cast<double>(std::int64_t{Pixel} - StartPixel);
    const double d = offset * EffectiveRange / AxisPixels;
    return IsHorizontal ? EffectiveMinimum + d : EffectiveMaximum - d;
}

bool TCustomChartAxis::IsVisible() const { return chart_ ? chart_->IsAxisVisible(*this) : visible_; }

bool TCustomChartAxis::HitTest(std::int32_t X, std::int32_t Y) const {
    if (!IsVisible()) return false;
    const std::int64_t alongLo = std::min(StartPixel, EndPixel);
    const std::int64_t alongHi = std::max(StartPixel, EndPixel);
    std::int64_t acrossLo = 0;
    std::int64_t acrossHi = 0;
    if (LabelAnchor < AxisLinePos) {
        acrossLo = LabelAnchor;
        acrossHi = std::int64_t{AxisLinePos} + 3;
    } else {
        acrossLo = std::int64_t{AxisLinePos} - 3;
        acrossHi = LabelAnchor;
    }
    const std::int64_t along = IsHorizontal ? X : Y;
    const std::int64_t across = IsHorizontal ? Y : X;
    return along >= alongLo && along < alongHi && across >= acrossLo && across < acrossHi;
}

void TCustomChartAxis::RefreshShowsDateTime() {
    ShowsDateTime = false;
    if (!chart_) return;
    for (TChartSeries* s : chart_->SeriesList()) {
        if (s->Active() && s->IsAssociatedTo(this)) {
            ShowsDateTime = IsHorizontal ? s->XValues().DateTime() : s->YValues().DateTime();
            return;
        }
    }
}

// --- text measurement -------------------------------------------------------------------------------

void TCustomChartAxis::SelectFont(const TChartFont& font) const {
    if (chart_ && chart_->TextMeasure()) chart_->TextMeasure()->SetFont(font.Data());
}

std::int32_t TCustomChartAxis::FontHeight() const {
    return chart_ && chart_->TextMeasure() ? chart_->TextMeasure()->FontHeight() : 0;
}

std::int32_t TCustomChartAxis::TextWidth(std::string_view text) const {
    return chart_ && chart_->TextMeasure() ? chart_->TextMeasure()->TextWidth(text) : 0;
}

std::int32_t TCustomChartAxis::LineCount(const std::string& text) {
    if (text.empty()) return 0;
    return 1 + static_cast<std::int32_t>(std::count(text.begin(), text.end(), LabelLineBreak));
}

std::int32_t WidestLabelLine(ITextMeasure& measure, std::string_view text) {
    std::int32_t widest = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(LabelLineBreak, start);
        if (end == std::string_view::npos) end = text.size();
        widest = std::max(widest, measure.TextWidth(text.substr(start, end - start)));
        start = end + 1;
    }
    return widest;
}

std::int32_t TCustomChartAxis::WidestLine(const std::string& text) const {
    return chart_ && chart_->TextMeasure() ? WidestLabelLine(*chart_->TextMeasure(), text) : 0;
}

std::int32_t TCustomChartAxis::LabelWidth(double Value) {
    const std::string text = LabelTextFor(Value);
    if (IsSideways(labelsAngle_)) return FontHeight() * LineCount(text);
    return WidestLine(text);
}

std::int32_t TCustomChartAxis::LabelHeight(double Value) {
    const std::string text = LabelTextFor(Value);
    if (IsUpright(labelsAngle_)) return FontHeight() * LineCount(text);
    return WidestLine(text);
}

// --- labels -----------------------------------------------------------------------------------------

std::string TCustomChartAxis::FormatAxisValue(double Value) const {
    // Date-time labels are not used; date-time values are shown as numbers.
    static const TFormatSettings defaults;
    const TFormatSettings& settings = chart_ ? chart_->FormatSettings : defaults;
    FormatCache& cache = formatCache_;
    if (cache.Format != axisValuesFormat_ || cache.Decimal != settings.DecimalSeparator ||
        cache.Thousand != settings.ThousandSeparator || cache.Texts.size() >= 512) {
        cache.Texts.clear();
        cache.Format = axisValuesFormat_;
        cache.Decimal = settings.DecimalSeparator;
        cache.Thousand = settings.ThousandSeparator;
    }
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof Value);
    std::memcpy(&bits, &Value, sizeof bits);
    if (auto it = cache.Texts.find(bits); it != cache.Texts.end()) return it->second;
    std::string text = FormatFloat(axisValuesFormat_, Value, settings);
    cache.Texts.emplace(bits, text);
    return text;
}

std::string TCustomChartAxis::LabelTextFor(double Value) {
    std::string text = FormatAxisValue(Value);
    if (chart_ && chart_->OnGetAxisLabel) chart_->OnGetAxisLabel(this, nullptr, -1, text);
    if (labelsMultiLine_) std::replace(text.begin(), text.end(), ' ', LabelLineBreak);
    return text;
}

TAxisLabelStyle TCustomChartAxis::EffectiveLabelStyle() const {
    if (labelStyle_ != TAxisLabelStyle::talAuto) return labelStyle_;
    TAxisLabelStyle result = TAxisLabelStyle::talNone;
    if (!chart_) return result;
    for (TChartSeries* s : chart_->SeriesList()) {
        if (!s->Active() || !s->IsAssociatedTo(this)) continue;
        const bool alongX = IsHorizontal == s->YMandatory();
        if (alongX && s->HasPointLabels()) return TAxisLabelStyle::talText;
        result = TAxisLabelStyle::talValue;
    }
    return result;
}

double TCustomChartAxis::NextLabelStep(double x) {
    // Non-positive or non-finite steps have no successor; returned unchanged so callers stop.
    if (!(x > 0) || !std::isfinite(x)) return x;
    // The recursive definition, unrolled: the scalings on the way in are undone in reverse order
    // on the way out, so the products match the recursive form exactly.
    std::array<bool, 1200> scaledDown{}; // true: x was multiplied by 0.1 (undo with * 10)
    std::size_t depth = 0;
    while (x >= 10 || x < 1) {
        if (depth == scaledDown.size()) return x;
        scaledDown[depth++] = x >= 10;
        x = x >= 10 ? x * 0.1 : x * 10;
    }
    double r = x < 2 ? 2.0 : (x < 5 ? 5.0 : 10.0);
    while (depth > 0) r = scaledDown[--depth] ? r * 10 : r * 0.1;
    return r;
}

double TCustomChartAxis::LabelStep() {
    SelectFont(labelsFont_);
    const std::int32_t size = IsHorizontal ? std::max(LabelWidth(EffectiveMinimum), LabelWidth(EffectiveMaximum))
                                           : std::max(LabelHeight(EffectiveMinimum), LabelHeight(EffectiveMaximum));
    LabelSize = size;
    if (size <= 0) {
        LabelCapacity = 1;
    } else {
        const std::int32_t extra = labelsSeparation_ > 0 ? RoundToInt32(labelsSeparation_ * 0.01 * size) : 0;
        LabelCapacity = RoundToInt32(static_cast<double>(AxisPixels) / (static_cast<double>(size) + extra));
    }
    if (LabelCapacity < 1) return 1e-12;

    double s = increment_ > 0 ? increment_ : (std::fabs(EffectiveRange) >= 1 ? 1.0 : 1e-12);
    // The climb needs a finite range and step to end; otherwise the starting step stands.
    if (labelsSeparation_ > 0 && std::isfinite(EffectiveRange) && std::isfinite(s)) {
        std::int64_t n = std::int64_t{LabelCapacity} + 1;
        do {
            const double b = EffectiveRange / s;
            if (std::fabs(b) < 2147483647.0) {
                n = RoundHalfEven(b);
                if (n > LabelCapacity) s = NextLabelStep(s);
            } else {
                s = NextLabelStep(s);
            }
        } while (n > LabelCapacity);
    }
    return std::max(s, 1e-12);
}

std::int32_t TCustomChartAxis::ValueLabelsWidth() {
    double lo = EffectiveMinimum;
    double hi = EffectiveMaximum;
    if (roundFirstLabel_) {
        const double s = LabelStep();
        lo = std::trunc(EffectiveMinimum / s) * s;
        hi = std::trunc(EffectiveMaximum / s) * s;
    }
    DetachedLabelHandler detached(chart_);
    const std::int32_t widest = std::max(WidestLine(LabelTextFor(hi)), WidestLine(LabelTextFor(lo)));
    return widest + TextWidth(" ");
}

std::int32_t TCustomChartAxis::LabelsBandSize() {
    if (labelsSize_ != 0) return labelsSize_;
    SelectFont(labelsFont_);
    const bool alongAxis = IsHorizontal ? IsUpright(labelsAngle_) : IsSideways(labelsAngle_);
    if (alongAxis) return FontHeight();
    switch (EffectiveLabelStyle()) {
    case TAxisLabelStyle::talValue:
        return ValueLabelsWidth();
    case TAxisLabelStyle::talMark:
    case TAxisLabelStyle::talText:
        // Marks carry no texts of their own here, so both use the widest point label.
        return chart_ ? chart_->MaxPointLabelWidth() : 0;
    default:
        return 0;
    }
}

std::int32_t TCustomChartAxis::TickBandSize() const {
    std::int32_t n = (axisPen_.Visible() ? axisPen_.Width() : 0) + (ticks_.Visible() ? tickLength_ : 0);
    if (minorTicks_.Visible()) n = std::max(n, minorTickLength_);
    return n;
}

void TCustomChartAxis::ReserveSpace(TRect& R) {
    RefreshShowsDateTime();
    enum Side { Bottom, Top, Left, Right };
    const Side side = IsHorizontal ? (IsFarSide ? Top : Bottom) : (IsFarSide ? Right : Left);
    const auto shrink = [&](std::int32_t n) {
        switch (side) {
        case Bottom: R.Bottom -= n; return R.Bottom;
        case Top: R.Top += n; return R.Top;
        case Left: R.Left += n; return R.Left;
        default: R.Right -= n; return R.Right;
        }
    };

    bool titlePlaced = false;
    if (!title_.Caption().empty()) {
        titlePlaced = true;
        std::int32_t size = titleSize_;
        if (size == 0) {
            SelectFont(title_.Font());
            const bool alongAxis = IsHorizontal ? IsUpright(title_.Angle()) : IsSideways(title_.Angle());
            size = alongAxis ? FontHeight() : TextWidth(title_.Caption());
        }
        TitleAnchor = shrink(size);
    }
    if (labels_) LabelAnchor = shrink(LabelsBandSize());
    const bool labelsPlaced = labels_;
    const std::int32_t ticks = TickBandSize(); // walls take no room in 2-D
    if (ticks > 0) shrink(ticks);

    if (positionPercent_ != 0) {
        // Anchors move into the plot by the percentage of its other dimension, as the axis line does.
        const std::int32_t other = IsHorizontal ? R.Height() : R.Width();
        const std::int32_t shift = RoundToInt32(other * 0.01 * positionPercent_);
        const std::int32_t inward = (side == Bottom || side == Right) ? -shift : shift;
        // Only anchors placed in this pass move; one kept from an earlier layout would otherwise
        // creep further into the plot on every paint.
        if (titlePlaced) TitleAnchor += inward;
        if (labelsPlaced) LabelAnchor += inward;
    }
}

} // namespace rv
