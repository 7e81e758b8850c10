#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "rangeview/chart/CacheBudget.h"
#include "rangeview/chart/Errors.h"
#include "rangeview/chart/Geometry.h"
#include "rangeview/chart/Pens.h"

namespace rv {

// Round half to even, as RoundHalfEven, for |x| < 2^31 only and without library calls: the
// pixel mapping runs twice for every point of every paint.
inline std::int64_t RoundHalfEvenSmall(double x)
{
    const auto whole = static_cast<std::int64_t>(x); // toward zero
    // Exact: x and its integer part are within 2^31 of each other.
    const double fraction = x - static_cast<double>(whole);
    if (fraction > 0.5)
        return whole + 1;
    if (fraction < -0.5)
        return whole - 1;
    if (fraction == 0.5)
        return whole % 2 == 0 ? whole : whole + 1;
    if (fraction == -0.5)
        return whole % 2 == 0 ? whole : whole - 1;
    return whole;
}

class TCustomAxisPanel;

enum class TAxisLabelStyle : std::uint8_t { talAuto, talNone, talValue, talMark, talText };

// Carriage return separates the lines of a label text.
constexpr char LabelLineBreak = '\r';

class ITextMeasure;
// Width of the widest line of a label text in the measurer's current font.
std::int32_t WidestLabelLine(ITextMeasure& measure, std::string_view text);

// The caption an axis draws beside its labels; each axis owns one, and the chart's setup
// and the axis painter read it.
class TChartAxisTitle {
public:
    explicit TChartAxisTitle(std::int32_t angle = 0);
    TChartAxisTitle(const TChartAxisTitle&) = delete;
    TChartAxisTitle& operator=(const TChartAxisTitle&) = delete;
    void Assign(const TChartAxisTitle& source);

    const std::string& Caption() const { return Caption_; }
    void SetCaption(const std::string& value);
    std::int32_t Angle() const { return Angle_; }
    void SetAngle(std::int32_t value);
    TChartFont& Font() { return Font_; }
    const TChartFont& Font() const { return Font_; }

    std::function<void()> OnChange;

private:
    std::string Caption_;
    std::int32_t Angle_;
    TChartFont Font_;
};

// One chart axis: its range, the mapping between values and pixels, and the label layout.
// Published properties are read as Name() and written as SetName(v); a write that changes the
// value stores it and asks the chart to repaint. The layout state is public and is recomputed
// on every paint.
class TCustomChartAxis {
public:
    TCustomChartAxis(TCustomAxisPanel* chart, bool horizontal, bool farSide);
    virtual ~TCustomChartAxis() = default;
    TCustomChartAxis(const TCustomChartAxis&) = delete;
    TCustomChartAxis& operator=(const TCustomChartAxis&) = delete;

    // Copies every published property.
    virtual void Assign(const TCustomChartAxis& source);
    TCustomAxisPanel* ParentChart() const { return Chart_; }

    // --- published properties -----------------------------------------------------------
    bool Automatic() const { return Settings_.Automatic; }
    void SetAutomatic(bool value);
    bool AutomaticMaximum() const { return Settings_.AutomaticMaximum; }
    void SetAutomaticMaximum(bool value);
    bool AutomaticMinimum() const { return Settings_.AutomaticMinimum; }
    void SetAutomaticMinimum(bool value);
    TChartAxisPen& Axis() { return AxisPen_; }
    const TChartAxisPen& Axis() const { return AxisPen_; }
    const std::string& AxisValuesFormat() const { return Settings_.AxisValuesFormat; }
    void SetAxisValuesFormat(const std::string& value);
    const std::string& DateTimeFormat() const { return Settings_.DateTimeFormat; }
    void SetDateTimeFormat(const std::string& value);
    bool ExactDateTime() const { return Settings_.ExactDateTime; }
    void SetExactDateTime(bool value);
    TDottedGrayPen& Grid() { return Grid_; }
    const TDottedGrayPen& Grid() const { return Grid_; }
    bool GridCentered() const { return Settings_.GridCentered; }
    void SetGridCentered(bool value);
    double Increment() const { return Settings_.Increment; }
    void SetIncrement(double value);
    bool Inverted() const { return Settings_.Inverted; }
    void SetInverted(bool value);
    bool Labels() const { return Settings_.Labels; }
    void SetLabels(bool value);
    std::int32_t LabelsAngle() const { return Settings_.LabelsAngle; }
    void SetLabelsAngle(std::int32_t value);
    TChartFont& LabelsFont() { return LabelsFont_; }
    const TChartFont& LabelsFont() const { return LabelsFont_; }
    bool LabelsMultiLine() const { return Settings_.LabelsMultiLine; }
    void SetLabelsMultiLine(bool value);
    bool LabelsOnAxis() const { return Settings_.LabelsOnAxis; }
    void SetLabelsOnAxis(bool value);
    std::int32_t LabelsSeparation() const { return Settings_.LabelsSeparation; }
    void SetLabelsSeparation(std::int32_t value);
    std::int32_t LabelsSize() const { return Settings_.LabelsSize; }
    void SetLabelsSize(std::int32_t value);
    TAxisLabelStyle LabelStyle() const { return Settings_.LabelStyle; }
    void SetLabelStyle(TAxisLabelStyle value);
    bool Logarithmic() const { return Settings_.Logarithmic; }
    void SetLogarithmic(bool value);
    std::int32_t LogarithmicBase() const { return Settings_.LogarithmicBase; }
    void SetLogarithmicBase(std::int32_t value);
    double Maximum() const { return Settings_.Maximum; }
    void SetMaximum(double value);
    double Minimum() const { return Settings_.Minimum; }
    void SetMinimum(double value);
    TChartHiddenPen& MinorGrid() { return MinorGrid_; }
    const TChartHiddenPen& MinorGrid() const { return MinorGrid_; }
    std::int32_t MinorTickCount() const { return Settings_.MinorTickCount; }
    void SetMinorTickCount(std::int32_t value);
    std::int32_t MinorTickLength() const { return Settings_.MinorTickLength; }
    void SetMinorTickLength(std::int32_t value);
    TDarkGrayPen& MinorTicks() { return MinorTicks_; }
    const TDarkGrayPen& MinorTicks() const { return MinorTicks_; }
    double StartPosition() const { return Settings_.StartPosition; }
    void SetStartPosition(double value);
    double EndPosition() const { return Settings_.EndPosition; }
    void SetEndPosition(double value);
    double PositionPercent() const { return Settings_.PositionPercent; }
    void SetPositionPercent(double value);
    bool RoundFirstLabel() const { return Settings_.RoundFirstLabel; }
    void SetRoundFirstLabel(bool value);
    std::int32_t TickInnerLength() const { return Settings_.TickInnerLength; }
    void SetTickInnerLength(std::int32_t value);
    std::int32_t TickLength() const { return Settings_.TickLength; }
    void SetTickLength(std::int32_t value);
    bool TickOnLabelsOnly() const { return Settings_.TickOnLabelsOnly; }
    void SetTickOnLabelsOnly(bool value);
    TDarkGrayPen& Ticks() { return Ticks_; }
    const TDarkGrayPen& Ticks() const { return Ticks_; }
    TDarkGrayPen& TicksInner() { return TicksInner_; }
    const TDarkGrayPen& TicksInner() const { return TicksInner_; }
    TChartAxisTitle& Title() { return Title_; }
    const TChartAxisTitle& Title() const { return Title_; }
    std::int32_t TitleSize() const { return Settings_.TitleSize; }
    void SetTitleSize(std::int32_t value);
    bool Visible() const { return Settings_.Visible; }
    void SetVisible(bool value);

    // --- label hooks (not stored settings: Assign leaves them) ------------------------------
    // The text of the label at a value; unset: FormatAxisValue. A time axis writes h:mm:ss.
    std::function<std::string(double)> LabelFormatter;
    // The step LabelStep tries after one that gives too many labels; unset: NextLabelStep. A
    // time axis climbs through whole minutes and hours. A step that does not grow is replaced
    // by NextLabelStep's.
    std::function<double(double)> LabelStepAfter;

    // --- layout state -----------------------------------------------------------------------
    bool IsHorizontal;
    bool IsFarSide;
    bool ShowsDateTime = false;
    double EffectiveMinimum = 0.0;
    double EffectiveMaximum = 0.0;
    double EffectiveRange = 0.0;
    std::int32_t StartPixel = 0;
    std::int32_t EndPixel = 0;
    std::int32_t AxisPixels = 0;
    std::int32_t CenterPixel = 0;
    std::int32_t AxisLinePos = 0;
    std::int32_t LabelAnchor = 0;
    std::int32_t TitleAnchor = 0;
    // How many labels fit along the axis, and the label size it was computed from (last LabelStep).
    std::int32_t LabelCapacity = 0;
    std::int32_t LabelSize = 0;

    // --- range and mapping ------------------------------------------------------------------
    // Sets both ends at once, clearing the automatic flags; never refused.
    void SetRange(double Low, double High);
    void ScrollBy(double Offset, bool CheckLimits);
    // Largest / smallest value of the series on this axis (0 without any).
    double DataMaximum() const;
    double DataMinimum() const;
    void AdjustRange();
    void ComputePixelSpan();
    std::int32_t ValueToPixel(double Value) const;
    double PixelToValue(std::int32_t Pixel) const;
    bool HitTest(std::int32_t X, std::int32_t Y) const;
    // The chart's visibility rule (AxisVisible, Visible, series on the axis); Visible() alone
    // without a chart.
    bool IsVisible() const;
    void RefreshShowsDateTime();

    // --- labels and room --------------------------------------------------------------------
    void ReserveSpace(TRect& R);
    std::int32_t TickBandSize() const;
    std::int32_t LabelsBandSize();
    static double NextLabelStep(double x);
    double LabelStep();
    TAxisLabelStyle EffectiveLabelStyle() const;
    std::string LabelTextFor(double Value);
    // Number formatting alone (no label event, no line breaks).
    std::string FormatAxisValue(double Value) const;
    // Widest line / line count of a label text, measured in the current font.
    std::int32_t LabelWidth(double Value);
    std::int32_t LabelHeight(double Value);
    static std::int32_t LineCount(const std::string& text);
    // Height of "W" / width of a text line in the font last selected; 0 without a text measurer.
    std::int32_t FontHeight() const;
    std::int32_t TextWidth(std::string_view text) const;
    std::int32_t WidestLine(const std::string& text) const;

protected:
    void Changed();

private:
    template <class T>
    void Store(T& field, const T& value);
    void SelectFont(const TChartFont& font) const;
    std::int32_t ValueLabelsWidth();

    TCustomAxisPanel* Chart_;
    // The axis' plain settings, copied by Assign as one value: a setting added here is copied
    // with the rest. The pens, fonts and title below are objects with owners and copy themselves.
    struct Settings {
        bool Automatic = true;
        bool AutomaticMaximum = true;
        bool AutomaticMinimum = true;
        std::string AxisValuesFormat = "#,##0.###";
        std::string DateTimeFormat;
        bool ExactDateTime = true;
        bool GridCentered = false;
        double Increment = 0.0;
        bool Inverted = false;
        bool Labels = true;
        std::int32_t LabelsAngle = 0;
        bool LabelsMultiLine = false;
        bool LabelsOnAxis = true;
        std::int32_t LabelsSeparation = 10;
        std::int32_t LabelsSize = 0;
        TAxisLabelStyle LabelStyle = TAxisLabelStyle::talAuto;
        bool Logarithmic = false;
        std::int32_t LogarithmicBase = 10;
        double Maximum = 0.0;
        double Minimum = 0.0;
        std::int32_t MinorTickCount = 3;
        std::int32_t MinorTickLength = 2;
        double StartPosition = 0.0;
        double EndPosition = 100.0;
        double PositionPercent = 0.0;
        bool RoundFirstLabel = true;
        std::int32_t TickInnerLength = 0;
        std::int32_t TickLength = 4;
        bool TickOnLabelsOnly = true;
        std::int32_t TitleSize = 0;
        bool Visible = true;
    };
    Settings Settings_;
    TChartAxisPen AxisPen_;
    // Texts of recent label values for the format and separators they were made with: the same
    // few dozen labels are formatted on every paint. Dropped whole when the cache budget needs
    // the room.
    struct FormatCache final : TCacheBudget::Holder {
        std::string Format;
        std::string Decimal;
        std::string Thousand;
        std::unordered_map<std::uint64_t, std::string> Texts;
        // The texts' own bytes; the map's buckets and the settings are added when charging.
        std::size_t TextBytes = 0;
        TCacheBudget::Entry Share{this};
        void Clear();
        void Evict(TCacheBudget::Entry&) override { Clear(); }
    };
    mutable FormatCache FormatCache_;
    TDottedGrayPen Grid_;
    TChartFont LabelsFont_;
    TChartHiddenPen MinorGrid_;
    TDarkGrayPen MinorTicks_;
    TDarkGrayPen Ticks_;
    TDarkGrayPen TicksInner_;
    TChartAxisTitle Title_;
};

// The four side axes the chart panel owns (bottom, top, left, right).
class TChartAxis : public TCustomChartAxis {
public:
    using TCustomChartAxis::TCustomChartAxis;
};

// Hidden in 2-D charts.
class TChartDepthAxis : public TCustomChartAxis {
public:
    explicit TChartDepthAxis(TCustomAxisPanel* chart);
};

} // namespace rv
