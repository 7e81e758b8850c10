#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "rangeview/protocol/MeasurementFrame.h"

namespace rv {

// Readings as text: the table `monitor --csv` writes and plot reads, the lines `monitor` and
// `decode --capture` print, and the names the fleet's messages give a reading's fields.

// The names of a reading's fields.
struct ReadingField {
    static constexpr std::string_view TimeUtc = "time_utc"; // UtcLayout::Text
    static constexpr std::string_view ElapsedMs = "elapsed_ms"; // since the port opened
    static constexpr std::string_view DistanceMm = "distance_mm";
    static constexpr std::string_view Mode = "mode";
    static constexpr std::string_view ModeName = "mode_name"; // as the window shows it
};

namespace detail {

// Names joined with commas, as a constant.
template <const std::string_view&... Names>
struct CommaJoined {
    static constexpr auto Chars = [] {
        std::array<char, (Names.size() + ...) + sizeof...(Names) - 1> chars{};
        std::size_t at = 0;
        for (const std::string_view name : {Names...}) {
            if (at > 0)
                chars[at++] = ',';
            for (const char c : name)
                chars[at++] = c;
        }
        return chars;
    }();
    static constexpr std::string_view Text{Chars.data(), Chars.size()};
};

} // namespace detail

// The table: its header line, then a row per reading, each ending in "\n".
struct ReadingTable {
    static constexpr std::string_view Header =
        detail::CommaJoined<ReadingField::TimeUtc, ReadingField::ElapsedMs,
                            ReadingField::DistanceMm, ReadingField::Mode,
                            ReadingField::ModeName>::Text;
    // What a reader needs of the header: all but the mode's name, which is for a person.
    static constexpr std::string_view NeededHeader =
        detail::CommaJoined<ReadingField::TimeUtc, ReadingField::ElapsedMs,
                            ReadingField::DistanceMm, ReadingField::Mode>::Text;
};

// The line printed per reading, and without its time (what `decode` prints for raw bytes).
struct ReadingLine {
    static constexpr std::string_view Columns =
        detail::CommaJoined<ReadingField::ElapsedMs, ReadingField::DistanceMm,
                            ReadingField::Mode>::Text;
    // Joined anew rather than cut out of Columns: GCC's UBSan rejects find() in a constant.
    static constexpr std::string_view UntimedColumns =
        detail::CommaJoined<ReadingField::DistanceMm, ReadingField::Mode>::Text;
    // The most characters of a line, without its line end.
    static constexpr std::size_t MaxSize = 20 + 1 + 5 + 1 + 3;
};

// A line without its line end into out, which has room for ReadingLine::MaxSize characters;
// both return the end.
char* PutReadingLine(char* out, std::int64_t elapsedMs, const MeasurementReading& reading) noexcept;
char* PutUntimedReadingLine(char* out, const MeasurementReading& reading) noexcept;
// Appends a row of the table, with its line end.
void AppendTableRow(std::string& out, std::chrono::system_clock::time_point utc,
                    std::int64_t elapsedMs, const MeasurementReading& reading);

// A row of the table or a printed line, read back: the elapsed time in microseconds, the reading
// and, for a row read with its UTC time, that time in microseconds since 1970.
struct ReadingRow {
    std::int64_t ElapsedUs = 0;
    MeasurementReading Reading;
    std::optional<std::int64_t> UtcUs;
};
// nullopt for a text that holds no reading, an elapsed time beyond a century among them.
// `withUtc`: a row whose time_utc does not read holds none either.
std::optional<ReadingRow> ParseTableRow(std::string_view line, bool withUtc);
std::optional<ReadingRow> ParseReadingLine(std::string_view line);

} // namespace rv
