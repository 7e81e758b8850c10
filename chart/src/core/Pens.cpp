#include "rangeview/chart/Pens.h"

#include "rangeview/common/Numeric.h"

namespace rv {

namespace {
template <class T>
bool Put(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}
} // namespace

TChartPen::TChartPen(TColor color, std::int32_t width, TPenStyle style, bool visible)
{
    Data_.Color = color;
    Data_.Width = width;
    Data_.Style = style;
    Data_.Visible = visible;
}

void TChartPen::Changed()
{
    if (OnChange)
        OnChange();
}

void TChartPen::Assign(const TChartPen& source)
{
    Assign(source.Data_);
}

void TChartPen::Assign(const TPenData& data)
{
    if (Put(Data_, data))
        Changed();
}

void TChartPen::SetColor(TColor value)
{
    if (Put(Data_.Color, value))
        Changed();
}
void TChartPen::SetWidth(std::int32_t value)
{
    if (Put(Data_.Width, value))
        Changed();
}
void TChartPen::SetStyle(TPenStyle value)
{
    if (Put(Data_.Style, value))
        Changed();
}
void TChartPen::SetMode(TPenMode value)
{
    if (Put(Data_.Mode, value))
        Changed();
}
void TChartPen::SetVisible(bool value)
{
    if (Put(Data_.Visible, value))
        Changed();
}
void TChartPen::SetSmallDots(bool value)
{
    if (Put(Data_.SmallDots, value))
        Changed();
}

TChartBrush::TChartBrush(TColor color, TBrushStyle style)
{
    Data_.Color = color;
    Data_.Style = style;
}

void TChartBrush::Assign(const TChartBrush& source)
{
    if (Put(Data_, source.Data_) && OnChange)
        OnChange();
}
void TChartBrush::SetColor(TColor value)
{
    if (Put(Data_.Color, value) && OnChange)
        OnChange();
}
void TChartBrush::SetStyle(TBrushStyle value)
{
    if (Put(Data_.Style, value) && OnChange)
        OnChange();
}

TChartFont::TChartFont()
{
    SetSize(8);
}

void TChartFont::Changed()
{
    if (OnChange)
        OnChange();
}

void TChartFont::Assign(const TChartFont& source)
{
    Assign(source.Data_);
}
void TChartFont::Assign(const TFontData& data)
{
    if (Put(Data_, data))
        Changed();
}
void TChartFont::SetName(const std::string& value)
{
    if (Put(Data_.Name, value))
        Changed();
}
void TChartFont::SetHeight(std::int32_t value)
{
    if (Put(Data_.Height, value))
        Changed();
}
std::int32_t TChartFont::Size() const
{
    return -MulDiv(Data_.Height, 72, ScreenPixelsPerInch);
}
void TChartFont::SetSize(std::int32_t points)
{
    SetHeight(-MulDiv(points, ScreenPixelsPerInch, 72));
}
void TChartFont::SetColor(TColor value)
{
    if (Put(Data_.Color, value))
        Changed();
}
void TChartFont::SetStyle(std::uint8_t value)
{
    if (Put(Data_.Style, value))
        Changed();
}
void TChartFont::SetCharset(std::uint8_t value)
{
    if (Put(Data_.Charset, value))
        Changed();
}

} // namespace rv
