#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

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
    bool Automatic() const { return Automatic_; }
    void SetAutomatic(bool value);
    bool AutomaticMaximum() const { return AutomaticMaximum_; }
    void SetAutomaticMaximum(bool value);
    bool AutomaticMinimum() const { return AutomaticMinimum_; }
    void SetAutomaticMinimum(bool value);
    TChartAxisPen& Axis() { return AxisPen_; }
    const TChartAxisPen& Axis() const { return AxisPen_; }
    const std::string& AxisValuesFormat() const { return AxisValuesFormat_; }
    void SetAxisValuesFormat(const std::string& value);
    const std::string& DateTimeFormat() const { return DateTimeFormat_; }
    void SetDateTimeFormat(const std::string& value);
    bool ExactDateTime() const { return ExactDateTime_; }
    void SetExactDateTime(bool value);
    TDottedGrayPen& Grid() { return Grid_; }
    const TDottedGrayPen& Grid() const { return Grid_; }
    bool GridCentered() const { return GridCentered_; }
    void SetGridCentered(bool value);
    double Increment() const { return Increment_; }
    void SetIncrement(double value);
    bool Inverted() const { return Inverted_; }
    void SetInverted(bool value);
    bool Labels() const { return Labels_; }
    void SetLabels(bool value);
    std::int32_t LabelsAngle() const { return LabelsAngle_; }
    void SetLabelsAngle(std::int32_t value);
    TChartFont& LabelsFont() { return LabelsFont_; }
    const TChartFont& LabelsFont() const { return LabelsFont_; }
    bool LabelsMultiLine() const { return LabelsMultiLine_; }
    void SetLabelsMultiLine(bool value);
    bool LabelsOnAxis() const { return LabelsOnAxis_; }
    void SetLabelsOnAxis(bool value);
    std::int32_t LabelsSeparation() const { return LabelsSeparation_; }
    void SetLabelsSeparation(std::int32_t value);
    std::int32_t LabelsSize() const { return LabelsSize_; }
    void SetLabelsSize(std::int32_t value);
    TAxisLabelStyle LabelStyle() const { return LabelStyle_; }
    void SetLabelStyle(TAxisLabelStyle value);
    bool Logarithmic() const { return Logarithmic_; }
    void SetLogarithmic(bool value);
    std::int32_t LogarithmicBase() const { return LogarithmicBase_; }
    void SetLogarithmicBase(std::int32_t value);
    double Maximum() const { return Maximum_; }
    void SetMaximum(double value);
    double Minimum() const { return Minimum_; }
    void SetMinimum(double value);
    TChartHiddenPen& MinorGrid() { return MinorGrid_; }
    const TChartHiddenPen& MinorGrid() const { return MinorGrid_; }
    std::int32_t MinorTickCount() const { return MinorTickCount_; }
    void SetMinorTickCount(std::int32_t value);
    std::int32_t MinorTickLength() const { return MinorTickLength_; }
    void SetMinorTickLength(std::int32_t value);
    TDarkGrayPen& MinorTicks() { return MinorTicks_; }
    const TDarkGrayPen& MinorTicks() const { return MinorTicks_; }
    double StartPosition() const { return StartPosition_; }
    void SetStartPosition(double value);
    double EndPosition() const { return EndPosition_; }
    void SetEndPosition(double value);
    double PositionPercent() const { return PositionPercent_; }
    void SetPositionPercent(double value);
    bool RoundFirstLabel() const { return RoundFirstLabel_; }
    void SetRoundFirstLabel(bool value);
    std::int32_t TickInnerLength() const { return TickInnerLength_; }
    void SetTickInnerLength(std::int32_t value);
    std::int32_t TickLength() const { return TickLength_; }
    void SetTickLength(std::int32_t value);
    bool TickOnLabelsOnly() const { return TickOnLabelsOnly_; }
    void SetTickOnLabelsOnly(bool value);
    TDarkGrayPen& Ticks() { return Ticks_; }
    const TDarkGrayPen& Ticks() const { return Ticks_; }
    TDarkGrayPen& TicksInner() { return TicksInner_; }
    const TDarkGrayPen& TicksInner() const { return TicksInner_; }
    TChartAxisTitle& Title() { return Title_; }
    const TChartAxisTitle& Title() const { return Title_; }
    std::int32_t TitleSize() const { return TitleSize_; }
    void SetTitleSize(std::int32_t value);
    bool Visible() const { return Visible_; }
    void SetVisible(bool value);

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
    bool Automatic_ = true;
    bool AutomaticMaximum_ = true;
    bool AutomaticMinimum_ = true;
    TChartAxisPen AxisPen_;
    std::string AxisValuesFormat_ = "#,##0.###";
    // Texts of recent label values for the format and separators they were made with: the same
    // few dozen labels are formatted on every paint.
    struct FormatCache {
        std::string Format;
        std::string Decimal;
        std::string Thousand;
        std::unordered_map<std::uint64_t, std::string> Texts;
    };
    mutable FormatCache FormatCache_;
    std::string DateTimeFormat_;
    bool ExactDateTime_ = true;
    TDottedGrayPen Grid_;
    bool GridCentered_ = false;
    double Increment_ = 0.0;
    bool Inverted_ = false;
    bool Labels_ = true;
    std::int32_t LabelsAngle_ = 0;
    TChartFont LabelsFont_;
    bool LabelsMultiLine_ = false;
    bool LabelsOnAxis_ = true;
    std::int32_t LabelsSeparation_ = 10;
    std::int32_t LabelsSize_ = 0;
    TAxisLabelStyle LabelStyle_ = TAxisLabelStyle::talAuto;
    bool Logarithmic_ = false;
    std::int32_t LogarithmicBase_ = 10;
    double Maximum_ = 0.0;
    double Minimum_ = 0.0;
    TChartHiddenPen MinorGrid_;
    std::int32_t MinorTickCount_ = 3;
    std::int32_t MinorTickLength_ = 2;
    TDarkGrayPen MinorTicks_;
    double StartPosition_ = 0.0;
    double EndPosition_ = 100.0;
    double PositionPercent_ = 0.0;
    bool RoundFirstLabel_ = true;
    std::int32_t TickInnerLength_ = 0;
    std::int32_t TickLength_ = 4;
    bool TickOnLabelsOnly_ = true;
    TDarkGrayPen Ticks_;
    TDarkGrayPen TicksInner_;
    TChartAxisTitle Title_;
    std::int32_t TitleSize_ = 0;
    bool Visible_ = true;
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
