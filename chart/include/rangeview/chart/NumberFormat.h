#pragma once

#include <string>
#include <string_view>

namespace rv {

// Separators as UTF-8 text; the Qt layer fills them from the system locale.
struct TFormatSettings {
    std::string DecimalSeparator = ".";
    std::string ThousandSeparator = ",";
};

// Formats Value with a picture such as "#,##0.###" or "###0.00":
//  '0' a digit that is always shown, '#' a digit shown when significant, ',' in the integer part
//  switches on thousands grouping, '.' marks the decimals; other characters are copied as they are
//  (text in single or double quotes too). Only the first ';'-section is used.
// The value is rounded half away from zero on its 15-significant-digit decimal form, so binary
// noise never shows (0.1 + 0.2 gives 0.3). A result that rounds to zero carries no minus sign.
// Magnitudes of 1e18 and more, infinities and NaN come out in a plain general form
// ("1.5E20", "INF", "-INF", "NAN") instead of a run of digits.
std::string FormatFloat(std::string_view format, double value, const TFormatSettings& settings);

} // namespace rv
