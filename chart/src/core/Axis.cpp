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
    Settings_ = s.Settings_;
    AxisPen_.Assign(s.AxisPen_);
    Grid_.Assign(s.Grid_);
    LabelsFont_.Assign(s.LabelsFont_);
    MinorGrid_.Assign(s.MinorGrid_);
    MinorTicks_.Assign(s.MinorTicks_);
    Ticks_.Assign(s.Ticks_);
    TicksInner_.Assign(s.TicksInner_);
    Title_.Assign(s.Title_);
    Changed();
}

// --- property writes ------------------------------------------------------------------------------

void TCustomChartAxis::SetAutomatic(bool value)
{
    Store(Settings_.Automatic, value);
    // While the chart loads its settings, AutomaticMinimum and AutomaticMaximum are given their
    // own values; Automatic must not overwrite them.
    if (Chart_ && Chart_->Loading())
        return;
    Settings_.AutomaticMinimum = value;
    Settings_.AutomaticMaximum = value;
}

void TCustomChartAxis::SetAutomaticMinimum(bool value)
{
    Store(Settings_.AutomaticMinimum, value);
    const bool before = Settings_.Automatic;
    if (!value)
        Settings_.Automatic = false;
    else if (Settings_.AutomaticMaximum)
        Settings_.Automatic = true;
    if (Settings_.Automatic != before)
        Changed();
}

void TCustomChartAxis::SetAutomaticMaximum(bool value)
{
    Store(Settings_.AutomaticMaximum, value);
    const bool before = Settings_.Automatic;
    if (!value)
        Settings_.Automatic = false;
    else if (Settings_.AutomaticMinimum)
        Settings_.Automatic = true;
    if (Settings_.Automatic != before)
        Changed();
}

void TCustomChartAxis::SetMinimum(double value)
{
    if (!(Chart_ && Chart_->Loading()) && value > Settings_.Maximum) {
        throw AxisException("Axis Minimum Value must be <= Maximum");
    }
    Store(Settings_.Minimum, value);
}

void TCustomChartAxis::SetMaximum(double value)
{
    if (!(Chart_ && Chart_->Loading()) && value < Settings_.Minimum) {
        throw AxisException("Axis Maximum Value must be >= Minimum");
    }
    Store(Settings_.Maximum, value);
}

void TCustomChartAxis::SetIncrement(double value)
{
    if (value < 0)
        throw AxisException("Axis increment must be >= 0");
    Store(Settings_.Increment, value);
}

void TCustomChartAxis::SetLabelsSeparation(std::int32_t value)
{
    if (value < 0)
        throw AxisException("Labels Separation % must be greater than 0");
    Store(Settings_.LabelsSeparation, value);
}

void TCustomChartAxis::SetAxisValuesFormat(const std::string& value)
{
    Store(Settings_.AxisValuesFormat, value);
}
void TCustomChartAxis::SetDateTimeFormat(const std::string& value)
{
    Store(Settings_.DateTimeFormat, value);
}
void TCustomChartAxis::SetExactDateTime(bool value)
{
    Store(Settings_.ExactDateTime, value);
}
void TCustomChartAxis::SetGridCentered(bool value)
{
    Store(Settings_.GridCentered, value);
}
void TCustomChartAxis::SetInverted(bool value)
{
    Store(Settings_.Inverted, value);
}
void TCustomChartAxis::SetLabels(bool value)
{
    Store(Settings_.Labels, value);
}
void TCustomChartAxis::SetLabelsAngle(std::int32_t value)
{
    Store(Settings_.LabelsAngle, value);
}
void TCustomChartAxis::SetLabelsMultiLine(bool value)
{
    Store(Settings_.LabelsMultiLine, value);
}
void TCustomChartAxis::SetLabelsOnAxis(bool value)
{
    Store(Settings_.LabelsOnAxis, value);
}
void TCustomChartAxis::SetLabelsSize(std::int32_t value)
{
    Store(Settings_.LabelsSize, value);
}
void TCustomChartAxis::SetLabelStyle(TAxisLabelStyle value)
{
    Store(Settings_.LabelStyle, value);
}
void TCustomChartAxis::SetLogarithmic(bool value)
{
    Store(Settings_.Logarithmic, value);
}
void TCustomChartAxis::SetLogarithmicBase(std::int32_t value)
{
    Store(Settings_.LogarithmicBase, value);
}
void TCustomChartAxis::SetMinorTickCount(std::int32_t value)
{
    Store(Settings_.MinorTickCount, value);
}
void TCustomChartAxis::SetMinorTickLength(std::int32_t value)
{
    Store(Settings_.MinorTickLength, value);
}
void TCustomChartAxis::SetStartPosition(double value)
{
    Store(Settings_.StartPosition, value);
}
void TCustomChartAxis::SetEndPosition(double value)
{
    Store(Settings_.EndPosition, value);
}
void TCustomChartAxis::SetPositionPercent(double value)
{
    Store(Settings_.PositionPercent, value);
}
void TCustomChartAxis::SetRoundFirstLabel(bool value)
{
    Store(Settings_.RoundFirstLabel, value);
}
void TCustomChartAxis::SetTickInnerLength(std::int32_t value)
{
    Store(Settings_.TickInnerLength, value);
}
void TCustomChartAxis::SetTickLength(std::int32_t value)
{
    Store(Settings_.TickLength, value);
}
void TCustomChartAxis::SetTickOnLabelsOnly(bool value)
{
    Store(Settings_.TickOnLabelsOnly, value);
}
void TCustomChartAxis::SetTitleSize(std::int32_t value)
{
    Store(Settings_.TitleSize, value);
}
void TCustomChartAxis::SetVisible(bool value)
{
    Store(Settings_.Visible, value);
}

// --- range ----------------------------------------------------------------------------------------

void TCustomChartAxis::SetRange(double Low, double High)
{
    Settings_.Automatic = Settings_.AutomaticMinimum = Settings_.AutomaticMaximum = false;
    if (Low > High)
        std::swap(Low, High);
    Store(Settings_.Minimum, Low);
    Store(Settings_.Maximum, High);
    if (Settings_.Maximum - Settings_.Minimum < 1e-10)
        Store(Settings_.Maximum, Settings_.Minimum + 1e-10);
}

void TCustomChartAxis::ScrollBy(double Offset, bool CheckLimits)
{
    if (CheckLimits) {
        if (Offset > 0 && !(DataMaximum() > Settings_.Maximum))
            return;
        if (Offset == 0)
            return;
        if (Offset < 0 && !(DataMinimum() < Settings_.Minimum))
            return;
    }
    Settings_.Automatic = Settings_.AutomaticMinimum = Settings_.AutomaticMaximum = false;
    Settings_.Maximum += Offset;
    Settings_.Minimum += Offset;
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
    if (Settings_.Automatic || Settings_.AutomaticMaximum)
        Settings_.Maximum = DataMaximum();
    if (Settings_.Automatic || Settings_.AutomaticMinimum)
        Settings_.Minimum = DataMinimum();
    EffectiveMaximum = Settings_.Maximum;
    EffectiveMinimum = Settings_.Minimum;
    EffectiveRange = EffectiveMaximum - EffectiveMinimum;
}

void TCustomChartAxis::ComputePixelSpan()
{
    if (!Chart_)
        return;
    const TRect& r = Chart_->ChartRect();
    const std::int32_t origin = IsHorizontal ? r.Left : r.Top;
    const std::int32_t size = IsHorizontal ? Chart_->ChartWidth() : Chart_->ChartHeight();
    StartPixel =
        ClampToInt32(std::int64_t{origin} + RoundToInt32(size * 0.01 * Settings_.StartPosition));
    EndPixel =
        ClampToInt32(std::int64_t{origin} + RoundToInt32(size * 0.01 * Settings_.EndPosition));
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
    const bool fromStart = IsHorizontal ? !Settings_.Inverted : Settings_.Inverted;
    // The sum can leave the 32-bit range near the extremes; it is saturated rather than wrapped.
    return ClampToInt32(fromStart ? StartPixel + r : EndPixel - r);
}

double TCustomChartAxis::PixelToValue(std::int32_t Pixel) const
{
    if (AxisPixels < 1)
        return 0.0;
    const double offset = Settings_.Inverted
                              ? static_cast<double>(std::int64_t{EndPixel} - Pixel)
                              : static_cast<double>(std::int64_t{Pixel} - StartPixel);
    const double d = offset * EffectiveRange / AxisPixels;
    return IsHorizontal ? EffectiveMinimum + d : EffectiveMaximum - d;
}

bool TCustomChartAxis::IsVisible() const
{
    return Chart_ ? Chart_->IsAxisVisible(*this) : Settings_.Visible;
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
    if (IsSideways(Settings_.LabelsAngle))
        return FontHeight() * LineCount(text);
    return WidestLine(text);
}

std::int32_t TCustomChartAxis::LabelHeight(double Value)
{
    const std::string text = LabelTextFor(Value);
    if (IsUpright(Settings_.LabelsAngle))
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
    TCacheBudget& budget = TCacheBudget::Shared();
    if (cache.Format != Settings_.AxisValuesFormat || cache.Decimal != settings.DecimalSeparator ||
        cache.Thousand != settings.ThousandSeparator || cache.Texts.size() >= 512) {
        cache.Clear();
        cache.Format = Settings_.AxisValuesFormat;
        cache.Decimal = settings.DecimalSeparator;
        cache.Thousand = settings.ThousandSeparator;
    }
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof Value);
    std::memcpy(&bits, &Value, sizeof bits);
    if (auto it = cache.Texts.find(bits); it != cache.Texts.end()) {
        budget.Touch(cache.Share);
        return it->second;
    }
    std::string text = FormatFloat(Settings_.AxisValuesFormat, Value, settings);
    // A node holds the key, the string and the next pointer; long texts add their own block.
    using Node = std::pair<const std::uint64_t, std::string>;
    const std::size_t textBytes =
        TCacheBudget::Allocated(sizeof(Node) + sizeof(void*)) +
        (text.size() > 15 ? TCacheBudget::Allocated(text.capacity() + 1) : 0);
    if (cache.TextBytes + textBytes > budget.MaxEntry())
        return text;
    cache.Texts.emplace(bits, text);
    cache.TextBytes += textBytes;
    const auto heap = [](const std::string& s) {
        return s.capacity() > 15 ? TCacheBudget::Allocated(s.capacity() + 1) : 0;
    };
    const std::size_t buckets = TCacheBudget::Allocated(cache.Texts.bucket_count() * sizeof(void*));
    budget.Charge(cache.Share, cache.TextBytes + buckets + heap(cache.Format) +
                                   heap(cache.Decimal) + heap(cache.Thousand));
    return text;
}

void TCustomChartAxis::FormatCache::Clear()
{
    // clear() would keep the buckets.
    std::unordered_map<std::uint64_t, std::string>().swap(Texts);
    TextBytes = 0;
    TCacheBudget::Shared().Release(Share);
}

std::string TCustomChartAxis::LabelTextFor(double Value)
{
    std::string text = LabelFormatter ? LabelFormatter(Value) : FormatAxisValue(Value);
    if (Chart_ && Chart_->OnGetAxisLabel)
        Chart_->OnGetAxisLabel(this, nullptr, -1, text);
    if (Settings_.LabelsMultiLine)
        std::replace(text.begin(), text.end(), ' ', LabelLineBreak);
    return text;
}

TAxisLabelStyle TCustomChartAxis::EffectiveLabelStyle() const
{
    if (Settings_.LabelStyle != TAxisLabelStyle::talAuto)
        return Settings_.LabelStyle;
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
        const std::int32_t extra = Settings_.LabelsSeparation > 0
                                       ? RoundToInt32(Settings_.LabelsSeparation * 0.01 * size)
                                       : 0;
        LabelCapacity =
            RoundToInt32(static_cast<double>(AxisPixels) / (static_cast<double>(size) + extra));
    }
    if (LabelCapacity < 1)
        return 1e-12;

    const auto after = [this](double step) {
        if (LabelStepAfter) {
            const double next = LabelStepAfter(step);
            if (next > step)
                return next;
        }
        return NextLabelStep(step);
    };
    double s = Settings_.Increment > 0 ? Settings_.Increment
                                       : (std::fabs(EffectiveRange) >= 1 ? 1.0 : 1e-12);
    // The climb needs a finite range and step to end; otherwise the starting step stands.
    if (Settings_.LabelsSeparation > 0 && std::isfinite(EffectiveRange) && std::isfinite(s)) {
        std::int64_t n = std::int64_t{LabelCapacity} + 1;
        do {
            const double b = EffectiveRange / s;
            if (std::fabs(b) < 2147483647.0) {
                n = RoundHalfEven(b);
                if (n > LabelCapacity)
                    s = after(s);
            } else {
                s = after(s);
            }
        } while (n > LabelCapacity);
    }
    return std::max(s, 1e-12);
}

std::int32_t TCustomChartAxis::ValueLabelsWidth()
{
    double lo = EffectiveMinimum;
    double hi = EffectiveMaximum;
    if (Settings_.RoundFirstLabel) {
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
    if (Settings_.LabelsSize != 0)
        return Settings_.LabelsSize;
    SelectFont(LabelsFont_);
    const bool alongAxis =
        IsHorizontal ? IsUpright(Settings_.LabelsAngle) : IsSideways(Settings_.LabelsAngle);
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
        (AxisPen_.Visible() ? AxisPen_.Width() : 0) + (Ticks_.Visible() ? Settings_.TickLength : 0);
    if (MinorTicks_.Visible())
        n = std::max(n, Settings_.MinorTickLength);
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
        std::int32_t size = Settings_.TitleSize;
        if (size == 0) {
            SelectFont(Title_.Font());
            const bool alongAxis =
                IsHorizontal ? IsUpright(Title_.Angle()) : IsSideways(Title_.Angle());
            size = alongAxis ? FontHeight() : TextWidth(Title_.Caption());
        }
        TitleAnchor = shrink(size);
    }
    if (Settings_.Labels)
        LabelAnchor = shrink(LabelsBandSize());
    const bool labelsPlaced = Settings_.Labels;
    const std::int32_t ticks = TickBandSize(); // walls take no room in 2-D
    if (ticks > 0)
        shrink(ticks);

    if (Settings_.PositionPercent != 0) {
        // Anchors move into the plot by the percentage of its other dimension, as the axis line does.
        const std::int32_t other = IsHorizontal ? R.Height() : R.Width();
        const std::int32_t shift = RoundToInt32(other * 0.01 * Settings_.PositionPercent);
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
