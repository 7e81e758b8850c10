#pragma once

#include <cstdint>
#include <string_view>

#include "rangeview/chart/Pens.h"

namespace rv {

// Text metrics of the drawing surface, as the layout needs them. The drawing side implements it.
class ITextMeasure {
public:
    virtual ~ITextMeasure() = default;
    // Selects the font for the following measurements.
    virtual void SetFont(const TFontData& font) = 0;
    // Width in pixels of one line of UTF-8 text in the current font.
    virtual std::int32_t TextWidth(std::string_view text) = 0;
    // Height in pixels of the text "W" in the current font.
    virtual std::int32_t FontHeight() = 0;
};

} // namespace rv
