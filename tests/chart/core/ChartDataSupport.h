#pragma once

#include <cstdint>
#include <string_view>

#include "rangeview/chart/Chart.h"
#include "rangeview/chart/TextMeasure.h"

namespace rv::testing {

// Fixed metrics: every character (UTF-8 code point) is CharWidth wide, "W" is Height high.
class FixedTextMeasure : public ITextMeasure {
public:
    explicit FixedTextMeasure(std::int32_t charWidth = 6, std::int32_t height = 12)
        : CharWidth(charWidth), Height(height)
    {
    }
    void SetFont(const TFontData& font) override
    {
        LastFont = font;
        ++FontSelections;
    }
    std::int32_t TextWidth(std::string_view text) override
    {
        std::int32_t n = 0;
        for (unsigned char c : text)
            n += (c & 0xC0) != 0x80;
        return n * CharWidth;
    }
    std::int32_t FontHeight() override { return Height; }

    std::int32_t CharWidth;
    std::int32_t Height;
    TFontData LastFont;
    int FontSelections = 0;
};

// A chart whose plot rectangle is set directly, standing in for the painter.
inline void PlaceChartRect(TCustomAxisPanel& chart, const TRect& r)
{
    chart.SetChartRect(r);
    for (TCustomChartAxis* axis : chart.AxesList()) {
        axis->AdjustRange();
        axis->ComputePixelSpan();
    }
}

} // namespace rv::testing
