#include "rangeview/tools/ReadingTable.h"

#include "rangeview/tools/Capture.h"
#include "rangeview/tools/UtcText.h"

#include <charconv>

namespace rv {

namespace {

template <class T>
bool Number(std::string_view text, T& value, T max)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size() &&
           value <= max;
}

// The next field up to a comma (consumed); false when there is no comma.
bool Field(std::string_view& rest, std::string_view& field)
{
    const std::size_t comma = rest.find(',');
    if (comma == std::string_view::npos)
        return false;
    field = rest.substr(0, comma);
    rest.remove_prefix(comma + 1);
    return true;
}

std::optional<ReadingRow> ParseRow(std::string_view line, bool table, bool withUtc)
{
    ReadingRow row;
    std::string_view rest = line;
    std::string_view field;
    if (table) {
        if (!Field(rest, field) || field.empty())
            return std::nullopt;
        if (withUtc) {
            row.UtcUs = ParseUtcMillis(field);
            if (!row.UtcUs)
                return std::nullopt;
        }
    }
    std::uint64_t elapsedMs = 0;
    std::uint16_t distance = 0;
    std::uint8_t mode = 0;
    // Beyond a century, as in a capture, a time is damage, not a recording.
    if (!Field(rest, field) ||
        !Number<std::uint64_t>(field, elapsedMs, CaptureFormat::MaxTimeUs / 1000) ||
        !Field(rest, field) || !Number<std::uint16_t>(field, distance, 65535))
        return std::nullopt;
    if (table) {
        // The mode's name after it is for a person; not needed here.
        if (!Field(rest, field))
            return std::nullopt;
    } else {
        field = rest;
    }
    if (!Number<std::uint8_t>(field, mode, 255))
        return std::nullopt;
    row.ElapsedUs = static_cast<std::int64_t>(elapsedMs) * 1000;
    row.Reading = MeasurementReading{distance, mode};
    return row;
}

} // namespace

char* PutUntimedReadingLine(char* out, const MeasurementReading& reading) noexcept
{
    out = std::to_chars(out, out + 5, reading.Distance).ptr;
    *out++ = ',';
    return std::to_chars(out, out + 3, static_cast<unsigned>(reading.Mode)).ptr;
}

char* PutReadingLine(char* out, std::int64_t elapsedMs, const MeasurementReading& reading) noexcept
{
    out = std::to_chars(out, out + 20, elapsedMs).ptr;
    *out++ = ',';
    return PutUntimedReadingLine(out, reading);
}

void AppendTableRow(std::string& out, std::chrono::system_clock::time_point utc,
                    std::int64_t elapsedMs, const MeasurementReading& reading)
{
    AppendUtc(out, UtcLayout::Text, SplitUtc(utc));
    out += ',';
    char line[ReadingLine::MaxSize];
    out.append(line, PutReadingLine(line, elapsedMs, reading));
    out += ',';
    out += ModeName(reading.Mode);
    out += '\n';
}

std::optional<ReadingRow> ParseTableRow(std::string_view line, bool withUtc)
{
    return ParseRow(line, true, withUtc);
}

std::optional<ReadingRow> ParseReadingLine(std::string_view line)
{
    return ParseRow(line, false, false);
}

} // namespace rv
