#include "rangeview/tools/UtcText.h"

#include <charconv>

namespace rv {

namespace {

constexpr std::string_view FieldLetters = "YMDhmsf";

bool IsField(char c)
{
    return FieldLetters.find(c) != std::string_view::npos;
}

// The length of the run of one letter that starts at `at`.
std::size_t RunAt(std::string_view layout, std::size_t at)
{
    std::size_t end = at;
    while (end < layout.size() && layout[end] == layout[at])
        ++end;
    return end - at;
}

std::int64_t FieldValue(const UtcFields& fields, char letter)
{
    switch (letter) {
    case 'Y':
        return fields.Year;
    case 'M':
        return fields.Month;
    case 'D':
        return fields.Day;
    case 'h':
        return fields.Hour;
    case 'm':
        return fields.Minute;
    case 's':
        return fields.Second;
    default:
        return fields.Millisecond;
    }
}

void SetField(UtcFields& fields, char letter, int value)
{
    switch (letter) {
    case 'Y':
        fields.Year = value;
        break;
    case 'M':
        fields.Month = value;
        break;
    case 'D':
        fields.Day = value;
        break;
    case 'h':
        fields.Hour = value;
        break;
    case 'm':
        fields.Minute = value;
        break;
    case 's':
        fields.Second = value;
        break;
    default:
        fields.Millisecond = value;
        break;
    }
}

// At least `width` digits after the sign, as printf's %0*d writes them.
void AppendNumber(std::string& out, std::int64_t value, std::size_t width)
{
    char digits[24];
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    const auto count = static_cast<std::size_t>(
        std::to_chars(digits, digits + sizeof digits, magnitude).ptr - digits);
    if (value < 0) {
        out += '-';
        width = width > 0 ? width - 1 : 0;
    }
    if (count < width)
        out.append(width - count, '0');
    out.append(digits, count);
}

// Exactly `width` digits at `at`.
bool ReadDigits(std::string_view text, std::size_t at, std::size_t width, int& value)
{
    if (at + width > text.size())
        return false;
    value = 0;
    for (std::size_t i = at; i < at + width; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// Reads text laid out as UtcLayout::Text: microseconds since 1970. `typed`: as ParseTypedUtc
// allows.
std::optional<std::int64_t> ReadUtc(std::string_view text, bool typed)
{
    constexpr std::string_view layout = UtcLayout::Text;
    // A typed time may stop before the seconds' separator, or before any part after it.
    constexpr std::size_t optionalFrom = layout.find('s') - 1;
    constexpr std::size_t zone = layout.size() - 1;
    // A typed one may have a space between the date and the time.
    constexpr std::size_t dateEnd = UtcLayout::Date.size();
    UtcFields fields;
    std::int64_t fractionUs = 0;
    std::size_t at = 0;
    for (std::size_t i = 0; i < layout.size();) {
        const char letter = layout[i];
        if (!IsField(letter)) {
            if (at < text.size() &&
                (text[at] == letter || (typed && i == dateEnd && text[at] == ' '))) {
                ++at;
                ++i;
                continue;
            }
            if (!typed || i < optionalFrom)
                return std::nullopt;
            if (i == zone)
                break;
            // This part is left out, and with it all but the zone.
            i = zone;
            continue;
        }
        const std::size_t run = RunAt(layout, i);
        i += run;
        if (letter == 'f') {
            const std::size_t most = typed ? 6 : run;
            std::size_t digits = 0;
            std::int64_t scale = 100000;
            while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < most) {
                fractionUs += (text[at] - '0') * scale;
                scale /= 10;
                ++digits;
                ++at;
            }
            if (digits == 0 || (!typed && digits != run))
                return std::nullopt;
            continue;
        }
        int value = 0;
        if (!ReadDigits(text, at, run, value))
            return std::nullopt;
        at += run;
        SetField(fields, letter, value);
    }
    if (at != text.size())
        return std::nullopt;
    if (fields.Hour > 23 || fields.Minute > 59 || fields.Second > 59)
        return std::nullopt;
    using namespace std::chrono;
    const year_month_day date{year(static_cast<int>(fields.Year)),
                              month(static_cast<unsigned>(fields.Month)),
                              day(static_cast<unsigned>(fields.Day))};
    if (!date.ok())
        return std::nullopt;
    const std::int64_t dayUs =
        static_cast<std::int64_t>(sys_days(date).time_since_epoch().count()) * 86'400'000'000;
    return dayUs + (fields.Hour * 3600LL + fields.Minute * 60LL + fields.Second) * 1'000'000 +
           fractionUs;
}

} // namespace

UtcFields SplitUtc(std::int64_t msSince1970) noexcept
{
    constexpr std::int64_t DayMs = 86'400'000;
    std::int64_t days = msSince1970 / DayMs;
    std::int64_t ofDay = msSince1970 % DayMs;
    if (ofDay < 0) {
        ofDay += DayMs;
        --days;
    }
    // The civil calendar from a day count in 64 bits (std::chrono's years end at 32767).
    const std::int64_t z = days + 719'468;
    const std::int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
    const std::int64_t dayOfEra = z - era * 146'097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shifted = (5 * dayOfYear + 2) / 153; // months from March
    UtcFields fields;
    fields.Day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
    fields.Month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
    fields.Year = yearOfEra + era * 400 + (fields.Month <= 2 ? 1 : 0);
    fields.Hour = static_cast<int>(ofDay / 3'600'000);
    fields.Minute = static_cast<int>(ofDay / 60'000 % 60);
    fields.Second = static_cast<int>(ofDay / 1000 % 60);
    fields.Millisecond = static_cast<int>(ofDay % 1000);
    return fields;
}

UtcFields SplitUtc(std::chrono::system_clock::time_point when) noexcept
{
    using namespace std::chrono;
    return SplitUtc(
        static_cast<std::int64_t>(floor<milliseconds>(when).time_since_epoch().count()));
}

void AppendUtc(std::string& out, std::string_view layout, const UtcFields& fields)
{
    for (std::size_t i = 0; i < layout.size();) {
        if (!IsField(layout[i])) {
            out += layout[i++];
            continue;
        }
        const std::size_t run = RunAt(layout, i);
        AppendNumber(out, FieldValue(fields, layout[i]), run);
        i += run;
    }
}

std::string FormatUtc(std::string_view layout, const UtcFields& fields)
{
    std::string text;
    AppendUtc(text, layout, fields);
    return text;
}

std::string FormatUtcMillis(std::chrono::system_clock::time_point when)
{
    return FormatUtc(UtcLayout::Text, SplitUtc(when));
}

std::optional<std::int64_t> ParseUtcMillis(std::string_view text)
{
    return ReadUtc(text, false);
}

std::optional<std::int64_t> ParseTypedUtc(std::string_view text)
{
    return ReadUtc(text, true);
}

} // namespace rv
