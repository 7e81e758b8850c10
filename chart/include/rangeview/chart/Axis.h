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
inline std::int64_t RoundHalfEvenSmall(double x) {
    const auto whole = static_cast<std::int64_t>(x); // toward zero
    // Exact: x and its integer part are within 2^31 of each other.
    const double fraction = x - static_cast<double>(whole);
    if (fraction > 0.5) return whole + 1;
    if (fraction < -0.5) return whole - 1;
    if (fraction == 0.5) return whole % 2 == 0 ? whole : whole + 1;
    if (fraction == -0.5) return whole % 2 == 0 ? whole : whole - 1;
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

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& value);
    std::int32_t Angle() const { return angle_; }
    void SetAngle(std::int32_t value);
    TChartFont& Font() { return font_; }
    const TChartFont& Font() const { return font_; }

    std::function<void()> OnChange;

private:
    std::string caption_;
    std::int32_t angle_;
    TChartFont font_;
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
    TCustomAxisPanel* ParentChart() const { return chart_; }

    // --- published properties -----------------------------------------------------------
    bool Automatic() const { return automatic_; }
    void SetAutomatic(bool value);
    bool AutomaticMaximum() const { return automaticMaximum_; }
    void SetAutomaticMaximum(bool value);
    bool AutomaticMinimum() const { return automaticMinimum_; }
    void SetAutomaticMinimum(bool value);
    TChartAxisPen& Axis() { return axisPen_; }
    const TChartAxisPen& Axis() const { return axisPen_; }
    const std::string& AxisValuesFormat() const { return axisValuesFormat_; }
    void SetAxisValuesFormat(const std::string& value);
    const std::string& DateTimeFormat() const { return dateTimeFormat_; }
    void SetDateTimeFormat(const std::string& value);
    bool ExactDateTime() const { return exactDateTime_; }
    void SetExactDateTime(bool value);
    TDottedGrayPen& Grid() { return grid_; }
    const TDottedGrayPen& Grid() const { return grid_; }
    bool GridCentered() const { return gridCentered_; }
    void SetGridCentered(bool value);
    double Increment() const { return increment_; }
    void SetIncrement(double value);
    bool Inverted() const { return inverted_; }
    void SetInverted(bool value);
    bool Labels() const { return labels_; }
    void SetLabels(bool value);
    std::int32_t LabelsAngle() const { return labelsAngle_; }
    void SetLabelsAngle(std::int32_t value);
    TChartFont& LabelsFont() { return labelsFont_; }
    const TChartFont& LabelsFont() const { return labelsFont_; }
    bool LabelsMultiLine() const { return labelsMultiLine_; }
    void SetLabelsMultiLine(bool value);
    bool LabelsOnAxis() const { return labelsOnAxis_; }
    void SetLabelsOnAxis(bool value);
    std::int32_t LabelsSeparation() const { return labelsSeparation_; }
    void SetLabelsSeparation(std::int32_t value);
    std::int32_t LabelsSize() const { return labelsSize_; }
    void SetLabelsSize(std::int32_t value);
    TAxisLabelStyle LabelStyle() const { return labelStyle_; }
    void SetLabelStyle(TAxisLabelStyle value);
    bool Logarithmic() const { return logarithmic_; }
    void SetLogarithmic(bool value);
    std::int32_t LogarithmicBase() const { return logarithmicBase_; }
    void SetLogarithmicBase(std::int32_t value);
    double Maximum() const { return maximum_; }
    void SetMaximum(double value);
    double Minimum() const { return minimum_; }
    void SetMinimum(double value);
    TChartHiddenPen& MinorGrid() { return minorGrid_; }
    const TChartHiddenPen& MinorGrid() const { return minorGrid_; }
    std::int32_t MinorTickCount() const { return minorTickCount_; }
    void SetMinorTickCount(std::int32_t value);
    std::int32_t MinorTickLength() const { return minorTickLength_; }
    void SetMinorTickLength(std::int32_t value);
    TDarkGrayPen& MinorTicks() { return minorTicks_; }
    const TDarkGrayPen& MinorTicks() const { return minorTicks_; }
    double StartPosition() const { return startPosition_; }
    void SetStartPosition(double value);
    double EndPosition() const { return endPosition_; }
    void SetEndPosition(double value);
    double PositionPercent() const { return positionPercent_; }
    void SetPositionPercent(double value);
    bool RoundFirstLabel() const { return roundFirstLabel_; }
    void SetRoundFirstLabel(bool value);
    std::int32_t TickInnerLength() const { return tickInnerLength_; }
    void SetTickInnerLength(std::int32_t value);
    std::int32_t TickLength() const { return tickLength_; }
    void SetTickLength(std::int32_t value);
    bool TickOnLabelsOnly() const { return tickOnLabelsOnly_; }
    void SetTickOnLabelsOnly(bool value);
    TDarkGrayPen& Ticks() { return ticks_; }
    const TDarkGrayPen& Ticks() const { return ticks_; }
    TDarkGrayPen& TicksInner() { return ticksInner_; }
    const TDarkGrayPen& TicksInner() const { return ticksInner_; }
    TChartAxisTitle& Title() { return title_; }
    const TChartAxisTitle& Title() const { return title_; }
    std::int32_t TitleSize() const { return titleSize_; }
    void SetTitleSize(std::int32_t value);
    bool Visible() const { return visible_; }
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
    template <class T> void Store(T& field, const T& value);
    void SelectFont(const TChartFont& font) const;
    std::int32_t ValueLabelsWidth();

    TCustomAxisPanel* chart_;
    bool automatic_ = true;
    bool automaticMaximum_ = true;
    bool automaticMinimum_ = true;
    TChartAxisPen axisPen_;
    std::string axisValuesFormat_ = "#,##0.###";
    // Texts of recent label values for the format and separators they were made with: the same
    // few dozen labels are formatted on every paint.
    struct FormatCache {
        std::string Format;
        std::string Decimal;
        std::string Thousand;
        std::unordered_map<std::uint64_t, std::string> Texts;
    };
    mutable FormatCache formatCache_;
    std::string dateTimeFormat_;
    bool exactDateTime_ = true;
    TDottedGrayPen grid_;
    bool gridCentered_ = false;
    double increment_ = 0.0;
    bool inverted_ = false;
    bool labels_ = true;
    std::int32_t labelsAngle_ = 0;
    TChartFont labelsFont_;
    bool labelsMultiLine_ = false;
    bool labelsOnAxis_ = true;
    std::int32_t labelsSeparation_ = 10;
    std::int32_t labelsSize_ = 0;
    TAxisLabelStyle labelStyle_ = TAxisLabelStyle::talAuto;
    bool logarithmic_ = false;
    std::int32_t logarithmicBase_ = 10;
    double maximum_ = 0.0;
    double minimum_ = 0.0;
    TChartHiddenPen minorGrid_;
    std::int32_t minorTickCount_ = 3;
    std::int32_t minorTickLength_ = 2;
    TDarkGrayPen minorTicks_;
    double startPosition_ = 0.0;
    double endPosition_ = 100.0;
    double positionPercent_ = 0.0;
    bool roundFirstLabel_ = true;
    std::int32_t tickInnerLength_ = 0;
    std::int32_t tickLength_ = 4;
    bool tickOnLabelsOnly_ = true;
    TDarkGrayPen ticks_;
    TDarkGrayPen ticksInner_;
    TChartAxisTitle title_;
    std::int32_t titleSize_ = 0;
    bool visible_ = true;
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
