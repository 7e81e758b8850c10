#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rv {

// Times in UTC as text. A layout spells a text with one letter for each digit of a field (Y year,
// M month, D day, h hour, m minute, s second, f millisecond); its other characters stand as
// they are. Writing and reading a time go by the same layout, so the two cannot drift apart.
struct UtcLayout {
    // "2026-12-07T12:36:01.123Z": the reading table's times and the fleet's messages'.
    static constexpr std::string_view Text = "YYYY-MM-DDThh:mm:ss.fffZ";
    // Its date ("2026-12-07") and its time of day to the second ("12:36:01").
    static constexpr std::string_view Date = Text.substr(0, Text.find('T'));
    static constexpr std::string_view TimeOfDay =
        Text.substr(Text.find('h'), Text.rfind('s') + 1 - Text.find('h'));
    // "20261207-123601": a start in file names, which then sort by it.
    static constexpr std::string_view Stamp = "YYYYMMDD-hhmmss";
};

// The fields of a time in the Gregorian calendar, with a year as far from 1970 as any time in
// milliseconds goes.
struct UtcFields {
    std::int64_t Year = 1970;
    int Month = 1;
    int Day = 1;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};
UtcFields SplitUtc(std::int64_t msSince1970) noexcept;
UtcFields SplitUtc(std::chrono::system_clock::time_point when) noexcept;

// Appends the fields as the layout spells them. A year of more digits than the layout has takes
// them all, and one before year 0 its sign ("-1974").
void AppendUtc(std::string& out, std::string_view layout, const UtcFields& fields);
std::string FormatUtc(std::string_view layout, const UtcFields& fields);

// "2026-12-07T12:36:01.123Z", and back: microseconds since 1970, nullopt for any other text.
std::string FormatUtcMillis(std::chrono::system_clock::time_point when);
std::optional<std::int64_t> ParseUtcMillis(std::string_view text);
// The same text as a person types it: the T may be a space, and from the seconds on each part
// may be left out, with those after it ("2026-12-07 12:36", "2026-12-07T12:36:01Z"); a fraction
// has one to six digits.
std::optional<std::int64_t> ParseTypedUtc(std::string_view text);

} // namespace rv
