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
std::int32_t RoundToInt32(double x)
{
    if (std::isnan(x))
        return 0;
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    if (x <= lo)
        return std::numeric_limits<std::int32_t>::min();
    if (x >= hi)
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(RoundHalfEven(x));
}

std::int32_t ClampToInt32(std::int64_t v)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::int32_t NormalAngle(std::int32_t angle)
{
    return ((angle % 360) + 360) % 360;
}

bool IsUpright(std::int32_t angle)
{
    const std::int32_t a = NormalAngle(angle);
    return a == 0 || a == 180;
}

bool IsSideways(std::int32_t angle)
{
    const std::int32_t a = NormalAngle(angle);
    return a == 90 || a == 270;
}

// Puts the chart's label handler aside for the life of the object.
class DetachedLabelHandler {
public:
    explicit DetachedLabelHandler(TCustomAxisPanel* chart) : Chart_(chart)
    {
        if (Chart_)
            Saved_ = std::exchange(Chart_->OnGetAxisLabel, nullptr);
    }
    ~DetachedLabelHandler()
    {
        if (Chart_)
            Chart_->OnGetAxisLabel = std::move(Saved_);
    }
    DetachedLabelHandler(const DetachedLabelHandler&) = delete;
    DetachedLabelHandler& operator=(const DetachedLabelHandler&) = delete;

private:
    TCustomAxisPanel* Chart_;
    TAxisLabelEvent Saved_;
};

} // namespace

// --- title ------------------------------------------------------------------------------------

TChartAxisTitle::TChartAxisTitle(std::int32_t angle) : Angle_(angle)
{
    Font_.OnChange = [this] {
        if (OnChange)
            OnChange();
    };
}

void TChartAxisTitle::Assign(const TChartAxisTitle& source)
{
    Caption_ = source.Caption_;
    Angle_ = source.Angle_;
    Font_.Assign(source.Font_);
    if (OnChange)
        OnChange();
}

void TChartAxisTitle::SetCaption(const std::string& value)
{
    if (value == Caption_)
        return;
    Caption_ = value;
    if (OnChange)
        OnChange();
}

void TChartAxisTitle::SetAngle(std::int32_t value)
{
    if (value == Angle_)
        return;
    Angle_ = value;
    if (OnChange)
        OnChange();
}

// --- construction -------------------------------------------------------------------------------

TCustomChartAxis::TCustomChartAxis(TCustomAxisPanel* chart, bool horizontal, bool farSide)
    : IsHorizontal(horizontal), IsFarSide(farSide), Chart_(chart)
{
    const auto changed = [this] { Changed(); };
    AxisPen_.OnChange = changed;
    Grid_.OnChange = changed;
    LabelsFont_.OnChange = changed;
    MinorGrid_.OnChange = changed;
    MinorTicks_.OnChange = changed;
    Ticks_.OnChange = changed;
    TicksInner_.OnChange = changed;
    Title_.OnChange = changed;
}

TChartDepthAxis::TChartDepthAxis(TCustomAxisPanel* chart) : TCustomChartAxis(chart, false, true)
{
    SetVisible(false);
}

void TCustomChartAxis::Changed()
{
    if (Chart_)
        Chart_->Invalidate();
}

template <class T>
void TCustomChartAxis::Store(T& field, const T& value)
{
    if (field == value)
        return;
    field = value;
    Changed();
}

void TCustomChartAxis::Assign(const TCustomChartAxis& s)
{
    Automatic_ = s.Automatic_;
    AutomaticMaximum_ = s.AutomaticMaximum_;
    AutomaticMinimum_ = s.AutomaticMinimum_;
    AxisPen_.Assign(s.AxisPen_);
    AxisValuesFormat_ = s.AxisValuesFormat_;
    DateTimeFormat_ = s.DateTimeFormat_;
    ExactDateTime_ = s.ExactDateTime_;
    Grid_.Assign(s.Grid_);
    GridCentered_ = s.GridCentered_;
    Increment_ = s.Increment_;
    Inverted_ = s.Inverted_;
    Labels_ = s.Labels_;
    LabelsAngle_ = s.LabelsAngle_;
    LabelsFont_.Assign(s.LabelsFont_);
    LabelsMultiLine_ = s.LabelsMultiLine_;
    LabelsOnAxis_ = s.LabelsOnAxis_;
    LabelsSeparation_ = s.LabelsSeparation_;
    LabelsSize_ = s.LabelsSize_;
    LabelStyle_ = s.LabelStyle_;
    Logarithmic_ = s.Logarithmic_;
    LogarithmicBase_ = s.LogarithmicBase_;
    Maximum_ = s.Maximum_;
    Minimum_ = s.Minimum_;
    MinorGrid_.Assign(s.MinorGrid_);
    MinorTickCount_ = s.MinorTickCount_;
    MinorTickLength_ = s.MinorTickLength_;
    MinorTicks_.Assign(s.MinorTicks_);
    StartPosition_ = s.StartPosition_;
    EndPosition_ = s.EndPosition_;
    PositionPercent_ = s.PositionPercent_;
    RoundFirstLabel_ = s.RoundFirstLabel_;
    TickInnerLength_ = s.TickInnerLength_;
    TickLength_ = s.TickLength_;
    TickOnLabelsOnly_ = s.TickOnLabelsOnly_;
    Ticks_.Assign(s.Ticks_);
    TicksInner_.Assign(s.TicksInner_);
    Title_.Assign(s.Title_);
    TitleSize_ = s.TitleSize_;
    Visible_ = s.Visible_;
    Changed();
}

// --- property writes ------------------------------------------------------------------------------

void TCustomChartAxis::SetAutomatic(bool value)
{
    Store(Automatic_, value);
    // While the chart loads its settings, AutomaticMinimum and AutomaticMaximum are given their
    // own values; Automatic must not overwrite them.
    if (Chart_ && Chart_->Loading())
        return;
    AutomaticMinimum_ = value;
    AutomaticMaximum_ = value;
}

void TCustomChartAxis::SetAutomaticMinimum(bool value)
{
    Store(AutomaticMinimum_, value);
    const bool before = Automatic_;
    if (!value)
        Automatic_ = false;
    else if (AutomaticMaximum_)
        Automatic_ = true;
    if (Automatic_ != before)
        Changed();
}

void TCustomChartAxis::SetAutomaticMaximum(bool value)
{
    Store(AutomaticMaximum_, value);
    const bool before = Automatic_;
    if (!value)
        Automatic_ = false;
    else if (AutomaticMinimum_)
        Automatic_ = true;
    if (Automatic_ != before)
        Changed();
}

void TCustomChartAxis::SetMinimum(double value)
{
    if (!(Chart_ && Chart_->Loading()) && value > Maximum_) {
        throw AxisException("Axis Minimum Value must be <= Maximum");
    }
    Store(Minimum_, value);
}

void TCustomChartAxis::SetMaximum(double value)
{
    if (!(Chart_ && Chart_->Loading()) && value < Minimum_) {
        throw AxisException("Axis Maximum Value must be >= Minimum");
    }
    Store(Maximum_, value);
}

void TCustomChartAxis::SetIncrement(double value)
{
    if (value < 0)
        throw AxisException("Axis increment must be >= 0");
    Store(Increment_, value);
}

void TCustomChartAxis::SetLabelsSeparation(std::int32_t value)
{
    if (value < 0)
        throw AxisException("Labels Separation % must be greater than 0");
    Store(LabelsSeparation_, value);
}

void TCustomChartAxis::SetAxisValuesFormat(const std::string& value)
{
    Store(AxisValuesFormat_, value);
}
void TCustomChartAxis::SetDateTimeFormat(const std::string& value)
{
    Store(DateTimeFormat_, value);
}
void TCustomChartAxis::SetExactDateTime(bool value)
{
    Store(ExactDateTime_, value);
}
void TCustomChartAxis::SetGridCentered(bool value)
{
    Store(GridCentered_, value);
}
void TCustomChartAxis::SetInverted(bool value)
{
    Store(Inverted_, value);
}
void TCustomChartAxis::SetLabels(bool value)
{
    Store(Labels_, value);
}
void TCustomChartAxis::SetLabelsAngle(std::int32_t value)
{
    Store(LabelsAngle_, value);
}
void TCustomChartAxis::SetLabelsMultiLine(bool value)
{
    Store(LabelsMultiLine_, value);
}
void TCustomChartAxis::SetLabelsOnAxis(bool value)
{
    Store(LabelsOnAxis_, value);
}
void TCustomChartAxis::SetLabelsSize(std::int32_t value)
{
    Store(LabelsSize_, value);
}
void TCustomChartAxis::SetLabelStyle(TAxisLabelStyle value)
{
    Store(LabelStyle_, value);
}
void TCustomChartAxis::SetLogarithmic(bool value)
{
    Store(Logarithmic_, value);
}
void TCustomChartAxis::SetLogarithmicBase(std::int32_t value)
{
    Store(LogarithmicBase_, value);
}
void TCustomChartAxis::SetMinorTickCount(std::int32_t value)
{
    Store(MinorTickCount_, value);
}
void TCustomChartAxis::SetMinorTickLength(std::int32_t value)
{
    Store(MinorTickLength_, value);
}
void TCustomChartAxis::SetStartPosition(double value)
{
    Store(StartPosition_, value);
}
void TCustomChartAxis::SetEndPosition(double value)
{
    Store(EndPosition_, value);
}
void TCustomChartAxis::SetPositionPercent(double value)
{
    Store(PositionPercent_, value);
}
void TCustomChartAxis::SetRoundFirstLabel(bool value)
{
    Store(RoundFirstLabel_, value);
}
void TCustomChartAxis::SetTickInnerLength(std::int32_t value)
{
    Store(TickInnerLength_, value);
}
void TCustomChartAxis::SetTickLength(std::int32_t value)
{
    Store(TickLength_, value);
}
void TCustomChartAxis::SetTickOnLabelsOnly(bool value)
{
    Store(TickOnLabelsOnly_, value);
}
void TCustomChartAxis::SetTitleSize(std::int32_t value)
{
    Store(TitleSize_, value);
}
void TCustomChartAxis::SetVisible(bool value)
{
    Store(Visible_, value);
}

// --- range ----------------------------------------------------------------------------------------

void TCustomChartAxis::SetRange(double Low, double High)
{
    Automatic_ = AutomaticMinimum_ = AutomaticMaximum_ = false;
    if (Low > High)
        std::swap(Low, High);
    Store(Minimum_, Low);
    Store(Maximum_, High);
    if (Maximum_ - Minimum_ < 1e-10)
        Store(Maximum_, Minimum_ + 1e-10);
}

void TCustomChartAxis::ScrollBy(double Offset, bool CheckLimits)
{
    if (CheckLimits) {
        if (Offset > 0 && !(DataMaximum() > Maximum_))
            return;
        if (Offset == 0)
            return;
        if (Offset < 0 && !(DataMinimum() < Minimum_))
            return;
    }
    Automatic_ = AutomaticMinimum_ = AutomaticMaximum_ = false;
    Maximum_ += Offset;
    Minimum_ += Offset;
    if (Chart_)
        Chart_->Repaint();
}

namespace {
// Largest (wantMax) or smallest value over the series lying on the axis.
double DataExtreme(const TCustomChartAxis& axis, const TCustomAxisPanel* chart, bool wantMax)
{
    if (!chart)
        return 0.0;
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
        if ((anyActive && !s->Active()) || s->PointCount() < 1 || !s->IsAssociatedTo(&axis))
            continue;
        const double v = axis.IsHorizontal ? (wantMax ? s->HighestX() : s->LowestX())
                                           : (wantMax ? s->HighestY() : s->LowestY());
        if (!found || (wantMax ? v > result : v < result))
            result = v;
        found = true;
    }
    return result;
}
} // namespace

double TCustomChartAxis::DataMaximum() const
{
    return DataExtreme(*this, Chart_, true);
}
double TCustomChartAxis::DataMinimum() const
{
    return DataExtreme(*this, Chart_, false);
}

void TCustomChartAxis::AdjustRange()
{
    if (Automatic_ || AutomaticMaximum_)
        Maximum_ = DataMaximum();
    if (Automatic_ || AutomaticMinimum_)
        Minimum_ = DataMinimum();
    EffectiveMaximum = Maximum_;
    EffectiveMinimum = Minimum_;
    EffectiveRange = EffectiveMaximum - EffectiveMinimum;
}

void TCustomChartAxis::ComputePixelSpan()
{
    if (!Chart_)
        return;
    const TRect& r = Chart_->ChartRect();
    const std::int32_t origin = IsHorizontal ? r.Left : r.Top;
    const std::int32_t size = IsHorizontal ? Chart_->ChartWidth() : Chart_->ChartHeight();
    StartPixel = ClampToInt32(std::int64_t{origin} + RoundToInt32(size * 0.01 * StartPosition_));
    EndPixel = ClampToInt32(std::int64_t{origin} + RoundToInt32(size * 0.01 * EndPosition_));
    AxisPixels = ClampToInt32(std::int64_t{EndPixel} - StartPixel);
    CenterPixel = static_cast<std::int32_t>((std::int64_t{StartPixel} + EndPixel) / 2);
}

std::int32_t TCustomChartAxis::ValueToPixel(double Value) const
{
    if (EffectiveRange == 0)
        return CenterPixel;
    const double t = (Value - EffectiveMinimum) * AxisPixels / EffectiveRange;
    // Also catches NaN, which would otherwise reach the integer conversion.
    if (!(std::fabs(t) < 2147483647.0))
        return CenterPixel;
    const std::int64_t r = RoundHalfEvenSmall(t);
    const bool fromStart = IsHorizontal ? !Inverted_ : Inverted_;
    // The sum can leave the 32-bit range near the extremes; it is saturated rather than wrapped.
    return ClampToInt32(fromStart ? StartPixel + r : EndPixel - r);
}

double TCustomChartAxis::PixelToValue(std::int32_t Pixel) const
{
    if (AxisPixels < 1)
        return 0.0;
    const double offset = Inverted_ ? static_cast<double>(std::int64_t{EndPixel} - Pixel)
                                    : static_cast<double>(std::int64_t{Pixel} - StartPixel);
    const double d = offset * EffectiveRange / AxisPixels;
    return IsHorizontal ? EffectiveMinimum + d : EffectiveMaximum - d;
}

bool TCustomChartAxis::IsVisible() const
{
    return Chart_ ? Chart_->IsAxisVisible(*this) : Visible_;
}

bool TCustomChartAxis::HitTest(std::int32_t X, std::int32_t Y) const
{
    if (!IsVisible())
        return false;
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

void TCustomChartAxis::RefreshShowsDateTime()
{
    ShowsDateTime = false;
    if (!Chart_)
        return;
    for (TChartSeries* s : Chart_->SeriesList()) {
        if (s->Active() && s->IsAssociatedTo(this)) {
            ShowsDateTime = IsHorizontal ? s->XValues().DateTime() : s->YValues().DateTime();
            return;
        }
    }
}

// --- text measurement -------------------------------------------------------------------------------

void TCustomChartAxis::SelectFont(const TChartFont& font) const
{
    if (Chart_ && Chart_->TextMeasure())
        Chart_->TextMeasure()->SetFont(font.Data());
}

std::int32_t TCustomChartAxis::FontHeight() const
{
    return Chart_ && Chart_->TextMeasure() ? Chart_->TextMeasure()->FontHeight() : 0;
}

std::int32_t TCustomChartAxis::TextWidth(std::string_view text) const
{
    return Chart_ && Chart_->TextMeasure() ? Chart_->TextMeasure()->TextWidth(text) : 0;
}

std::int32_t TCustomChartAxis::LineCount(const std::string& text)
{
    if (text.empty())
        return 0;
    return 1 + static_cast<std::int32_t>(std::count(text.begin(), text.end(), LabelLineBreak));
}

std::int32_t WidestLabelLine(ITextMeasure& measure, std::string_view text)
{
    std::int32_t widest = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(LabelLineBreak, start);
        if (end == std::string_view::npos)
            end = text.size();
        widest = std::max(widest, measure.TextWidth(text.substr(start, end - start)));
        start = end + 1;
    }
    return widest;
}

std::int32_t TCustomChartAxis::WidestLine(const std::string& text) const
{
    return Chart_ && Chart_->TextMeasure() ? WidestLabelLine(*Chart_->TextMeasure(), text) : 0;
}

std::int32_t TCustomChartAxis::LabelWidth(double Value)
{
    const std::string text = LabelTextFor(Value);
    if (IsSideways(LabelsAngle_))
        return FontHeight() * LineCount(text);
    return WidestLine(text);
}

std::int32_t TCustomChartAxis::LabelHeight(double Value)
{
    const std::string text = LabelTextFor(Value);
    if (IsUpright(LabelsAngle_))
        return FontHeight() * LineCount(text);
    return WidestLine(text);
}

// --- labels -----------------------------------------------------------------------------------------

std::string TCustomChartAxis::FormatAxisValue(double Value) const
{
    // Date-time labels are not used; date-time values are shown as numbers.
    static const TFormatSettings defaults;
    const TFormatSettings& settings = Chart_ ? Chart_->FormatSettings : defaults;
    FormatCache& cache = FormatCache_;
    if (cache.Format != AxisValuesFormat_ || cache.Decimal != settings.DecimalSeparator ||
        cache.Thousand != settings.ThousandSeparator || cache.Texts.size() >= 512) {
        cache.Texts.clear();
        cache.Format = AxisValuesFormat_;
        cache.Decimal = settings.DecimalSeparator;
        cache.Thousand = settings.ThousandSeparator;
    }
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof Value);
    std::memcpy(&bits, &Value, sizeof bits);
    if (auto it = cache.Texts.find(bits); it != cache.Texts.end())
        return it->second;
    std::string text = FormatFloat(AxisValuesFormat_, Value, settings);
    cache.Texts.emplace(bits, text);
    return text;
}

std::string TCustomChartAxis::LabelTextFor(double Value)
{
    std::string text = FormatAxisValue(Value);
    if (Chart_ && Chart_->OnGetAxisLabel)
        Chart_->OnGetAxisLabel(this, nullptr, -1, text);
    if (LabelsMultiLine_)
        std::replace(text.begin(), text.end(), ' ', LabelLineBreak);
    return text;
}

TAxisLabelStyle TCustomChartAxis::EffectiveLabelStyle() const
{
    if (LabelStyle_ != TAxisLabelStyle::talAuto)
        return LabelStyle_;
    TAxisLabelStyle result = TAxisLabelStyle::talNone;
    if (!Chart_)
        return result;
    for (TChartSeries* s : Chart_->SeriesList()) {
        if (!s->Active() || !s->IsAssociatedTo(this))
            continue;
        const bool alongX = IsHorizontal == s->YMandatory();
        if (alongX && s->HasPointLabels())
            return TAxisLabelStyle::talText;
        result = TAxisLabelStyle::talValue;
    }
    return result;
}

double TCustomChartAxis::NextLabelStep(double x)
{
    // Non-positive or non-finite steps have no successor; returned unchanged so callers stop.
    if (!(x > 0) || !std::isfinite(x))
        return x;
    // The recursive definition, unrolled: the scalings on the way in are undone in reverse order
    // on the way out, so the products match the recursive form exactly.
    std::array<bool, 1200> scaledDown{}; // true: x was multiplied by 0.1 (undo with * 10)
    std::size_t depth = 0;
    while (x >= 10 || x < 1) {
        if (depth == scaledDown.size())
            return x;
        scaledDown[depth++] = x >= 10;
        x = x >= 10 ? x * 0.1 : x * 10;
    }
    double r = x < 2 ? 2.0 : (x < 5 ? 5.0 : 10.0);
    while (depth > 0)
        r = scaledDown[--depth] ? r * 10 : r * 0.1;
    return r;
}

double TCustomChartAxis::LabelStep()
{
    SelectFont(LabelsFont_);
    const std::int32_t size =
        IsHorizontal ? std::max(LabelWidth(EffectiveMinimum), LabelWidth(EffectiveMaximum))
                     : std::max(LabelHeight(EffectiveMinimum), LabelHeight(EffectiveMaximum));
    LabelSize = size;
    if (size <= 0) {
        LabelCapacity = 1;
    } else {
        const std::int32_t extra =
            LabelsSeparation_ > 0 ? RoundToInt32(LabelsSeparation_ * 0.01 * size) : 0;
        LabelCapacity =
            RoundToInt32(static_cast<double>(AxisPixels) / (static_cast<double>(size) + extra));
    }
    if (LabelCapacity < 1)
        return 1e-12;

    double s = Increment_ > 0 ? Increment_ : (std::fabs(EffectiveRange) >= 1 ? 1.0 : 1e-12);
    // The climb needs a finite range and step to end; otherwise the starting step stands.
    if (LabelsSeparation_ > 0 && std::isfinite(EffectiveRange) && std::isfinite(s)) {
        std::int64_t n = std::int64_t{LabelCapacity} + 1;
        do {
            const double b = EffectiveRange / s;
            if (std::fabs(b) < 2147483647.0) {
                n = RoundHalfEven(b);
                if (n > LabelCapacity)
                    s = NextLabelStep(s);
            } else {
                s = NextLabelStep(s);
            }
        } while (n > LabelCapacity);
    }
    return std::max(s, 1e-12);
}

std::int32_t TCustomChartAxis::ValueLabelsWidth()
{
    double lo = EffectiveMinimum;
    double hi = EffectiveMaximum;
    if (RoundFirstLabel_) {
        const double s = LabelStep();
        lo = std::trunc(EffectiveMinimum / s) * s;
        hi = std::trunc(EffectiveMaximum / s) * s;
    }
    DetachedLabelHandler detached(Chart_);
    const std::int32_t widest =
        std::max(WidestLine(LabelTextFor(hi)), WidestLine(LabelTextFor(lo)));
    return widest + TextWidth(" ");
}

std::int32_t TCustomChartAxis::LabelsBandSize()
{
    if (LabelsSize_ != 0)
        return LabelsSize_;
    SelectFont(LabelsFont_);
    const bool alongAxis = IsHorizontal ? IsUpright(LabelsAngle_) : IsSideways(LabelsAngle_);
    if (alongAxis)
        return FontHeight();
    switch (EffectiveLabelStyle()) {
    case TAxisLabelStyle::talValue:
        return ValueLabelsWidth();
    case TAxisLabelStyle::talMark:
    case TAxisLabelStyle::talText:
        // Marks carry no texts of their own here, so both use the widest point label.
        return Chart_ ? Chart_->MaxPointLabelWidth() : 0;
    default:
        return 0;
    }
}

std::int32_t TCustomChartAxis::TickBandSize() const
{
    std::int32_t n =
        (AxisPen_.Visible() ? AxisPen_.Width() : 0) + (Ticks_.Visible() ? TickLength_ : 0);
    if (MinorTicks_.Visible())
        n = std::max(n, MinorTickLength_);
    return n;
}

void TCustomChartAxis::ReserveSpace(TRect& R)
{
    RefreshShowsDateTime();
    enum Side { Bottom, Top, Left, Right };
    const Side side = IsHorizontal ? (IsFarSide ? Top : Bottom) : (IsFarSide ? Right : Left);
    const auto shrink = [&](std::int32_t n) {
        switch (side) {
        case Bottom:
            R.Bottom -= n;
            return R.Bottom;
        case Top:
            R.Top += n;
            return R.Top;
        case Left:
            R.Left += n;
            return R.Left;
        default:
            R.Right -= n;
            return R.Right;
        }
    };

    bool titlePlaced = false;
    if (!Title_.Caption().empty()) {
        titlePlaced = true;
        std::int32_t size = TitleSize_;
        if (size == 0) {
            SelectFont(Title_.Font());
            const bool alongAxis =
                IsHorizontal ? IsUpright(Title_.Angle()) : IsSideways(Title_.Angle());
            size = alongAxis ? FontHeight() : TextWidth(Title_.Caption());
        }
        TitleAnchor = shrink(size);
    }
    if (Labels_)
        LabelAnchor = shrink(LabelsBandSize());
    const bool labelsPlaced = Labels_;
    const std::int32_t ticks = TickBandSize(); // walls take no room in 2-D
    if (ticks > 0)
        shrink(ticks);

    if (PositionPercent_ != 0) {
        // Anchors move into the plot by the percentage of its other dimension, as the axis line does.
        const std::int32_t other = IsHorizontal ? R.Height() : R.Width();
        const std::int32_t shift = RoundToInt32(other * 0.01 * PositionPercent_);
        const std::int32_t inward = (side == Bottom || side == Right) ? -shift : shift;
        // Only anchors placed in this pass move; one kept from an earlier layout would otherwise
        // creep further into the plot on every paint.
        if (titlePlaced)
            TitleAnchor += inward;
        if (labelsPlaced)
            LabelAnchor += inward;
    }
}

} // namespace rv
