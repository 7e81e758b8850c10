#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace rv {

// A point in time on the command line of `plot`: elapsed time since the recording started
// ("90", "90.5", "1:30", "1:00:00") or a UTC time ("2026-12-07T12:36:01Z", seconds and the Z
// optional, a space for the T allowed).
struct PlotTime {
    bool Utc = false;
    // Elapsed microseconds, or microseconds since 1970-01-01T00:00:00Z.
    std::int64_t Us = 0;
};

enum class PlotStyle { Print, Window };
enum class PlotFormat { Png, Svg };

// Command line of `rangeview-cli plot`.
struct PlotOptions {
    static constexpr int DefaultWidth = 1600;
    static constexpr int DefaultHeight = 600;
    static constexpr int MinWidth = 320;
    static constexpr int MinHeight = 200;
    static constexpr int MaxSide = 10000;

    bool Help = false;
    std::string Input;
    std::string Output;
    PlotFormat Format = PlotFormat::Png;
    std::optional<PlotTime> From;
    std::optional<PlotTime> To;
    int Width = DefaultWidth;
    int Height = DefaultHeight;
    std::optional<std::string> Title;
    PlotStyle Style = PlotStyle::Print;
};

// Throws ToolError with a one-line message on a bad command line.
PlotOptions ParsePlotOptions(std::span<const std::string_view> args);
// Throws ToolError naming `option` when the text is no time.
PlotTime ParsePlotTime(std::string_view option, std::string_view text);

std::string_view PlotUsage() noexcept;

// Labels of the time axis. Elapsed time as "m:ss" (or "h:mm:ss" with `hours`), UTC as the time
// of day "hh:mm:ss"; a fraction of a second only where the value has one (to the millisecond).
std::string FormatElapsedLabel(double seconds, bool hours);
std::string FormatTimeOfDayLabel(double secondsSince1970);
// "2026-12-07".
std::string FormatUtcDate(std::int64_t usSince1970);
// The label steps of a time axis, in seconds: decimal steps below a second, then 1, 2, 5, 10,
// 15 and 30 seconds, 1, 2, 5, 10, 15 and 30 minutes, 1, 2, 3, 6 and 12 hours, then days.
// Returns the step after `step`.
double NextTimeStep(double step);

} // namespace rv
