#include "rangeview/tools/PlotOptions.h"

#include "rangeview/chart/Axis.h"
#include "rangeview/tools/ArgCursor.h"
#include "rangeview/tools/ReadingTable.h"
#include "rangeview/tools/ToolError.h"
#include "rangeview/tools/UtcText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace rv {

namespace {

// ".f" with one to six digits at `at` (or nothing): microseconds.
bool Fraction(std::string_view text, std::size_t& at, std::int64_t& us)
{
    us = 0;
    if (at >= text.size() || text[at] != '.')
        return true;
    ++at;
    std::int64_t scale = 100000;
    std::size_t digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        if (++digits > 6)
            return false;
        us += (text[at] - '0') * scale;
        scale /= 10;
        ++at;
    }
    return digits > 0;
}

// [h:]mm:ss[.f] or plain seconds.
std::optional<std::int64_t> ParseElapsed(std::string_view text)
{
    if (text.find(':') == std::string_view::npos) {
        double seconds = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
        // Up to about 30 000 years: far beyond any recording, well inside 64 bits.
        if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
            !std::isfinite(seconds) || seconds < 0 || seconds > 1e12)
            return std::nullopt;
        return std::llround(seconds * 1e6);
    }
    std::int64_t total = 0;
    std::size_t at = 0;
    int parts = 0;
    for (;;) {
        std::size_t end = at;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9')
            ++end;
        const std::size_t digits = end - at;
        if (digits == 0 || digits > 9 || (parts > 0 && digits != 2))
            return std::nullopt;
        int value = 0;
        std::from_chars(text.data() + at, text.data() + end, value);
        if (parts > 0 && value > 59)
            return std::nullopt;
        total = total * 60 + value;
        ++parts;
        at = end;
        if (at < text.size() && text[at] == ':') {
            ++at;
            continue;
        }
        break;
    }
    std::int64_t fraction = 0;
    if (parts < 2 || parts > 3 || !Fraction(text, at, fraction) || at != text.size())
        return std::nullopt;
    return total * 1'000'000 + fraction;
}

// "1500x600" within the limits.
void ParseSize(std::string_view text, int& width, int& height)
{
    const auto fail = [&] {
        return ToolError(
            "--size needs WIDTHxHEIGHT in pixels, from " + std::to_string(PlotOptions::MinWidth) +
            "x" + std::to_string(PlotOptions::MinHeight) + " to " +
            std::to_string(PlotOptions::MaxSide) + "x" + std::to_string(PlotOptions::MaxSide) +
            ", not '" + std::string(text) + "'");
    };
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos)
        throw fail();
    const auto number = [&](std::string_view part, int& value) {
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        return !part.empty() && error == std::errc() && end == part.data() + part.size();
    };
    if (!number(text.substr(0, x), width) || !number(text.substr(x + 1), height) ||
        width < PlotOptions::MinWidth || height < PlotOptions::MinHeight ||
        width > PlotOptions::MaxSide || height > PlotOptions::MaxSide)
        throw fail();
}

bool EndsWithNoCase(std::string_view text, std::string_view tail)
{
    if (text.size() < tail.size())
        return false;
    for (std::size_t i = 0; i < tail.size(); ++i) {
        char c = text[text.size() - tail.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != tail[i])
            return false;
    }
    return true;
}

std::string WithFraction(std::string text, std::int64_t ms)
{
    if (ms == 0)
        return text;
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(ms));
    std::string digits(fraction);
    while (digits.back() == '0')
        digits.pop_back();
    return text + digits;
}

} // namespace

std::string_view PlotUsage() noexcept
{
    static const std::string text =
        "usage: rangeview-cli plot INPUT -o OUT.png|OUT.svg [options]\n"
        "Draws the distance in a recording against time: INPUT is a capture (monitor --raw)\n"
        "or a monitor CSV (monitor --csv, or the " +
        std::string(ReadingLine::Columns) +
        " lines monitor\n"
        "prints), told apart by content. Every reading's extreme shows, at any length.\n"
        "  -o, --output FILE   the picture: .png, or .svg for a vector drawing\n"
        "  --from T, --to T    only this stretch: seconds since the start (90, 1:30, 1:00:00)\n"
        "                      or, for a CSV with UTC times, 2026-12-07T12:36:01Z\n"
        "  --size WxH          picture size in pixels (default 1600x600)\n"
        "  --title TEXT        title above the plot (default: the input's file name)\n"
        "  --style print|window  light and print-friendly (default), or the window's look\n"
        "Shaded stretches are gaps (over 1 s without a reading, or a run of lost frames);\n"
        "red marks under the time axis are frames dropped for a wrong checksum. Exit status:\n"
        "0 written, 1 the picture could not be written, 2 a bad command line or input.\n";
    return text;
}

PlotTime ParsePlotTime(std::string_view option, std::string_view text)
{
    if (text.size() >= 10 && text[4] == '-') {
        if (const auto us = ParseTypedUtc(text))
            return PlotTime{true, *us};
    } else if (const auto us = ParseElapsed(text)) {
        return PlotTime{false, *us};
    }
    throw ToolError(std::string(option) +
                    " needs seconds since the start (90, 1:30, 1:00:00) or a UTC time "
                    "(2026-12-07T12:36:01Z), not '" +
                    std::string(text) + "'");
}

PlotOptions ParsePlotOptions(std::span<const std::string_view> args)
{
    PlotOptions options;
    bool outputGiven = false;
    for (ArgCursor<ToolError> arg(args); arg.Next();) {
        const std::string_view name = arg.Name();
        if (name == "-h" || name == "--help") {
            options.Help = true;
            return options;
        }
        if (name == "-o" || name == "--output") {
            options.Output = std::string(arg.Value());
            outputGiven = true;
        } else if (name == "--from") {
            options.From = ParsePlotTime(name, arg.Value());
        } else if (name == "--to") {
            options.To = ParsePlotTime(name, arg.Value());
        } else if (name == "--size") {
            ParseSize(arg.Value(), options.Width, options.Height);
        } else if (name == "--title") {
            options.Title = std::string(arg.Value());
        } else if (name == "--style") {
            const std::string_view style = arg.Value();
            if (style == "print") {
                options.Style = PlotStyle::Print;
            } else if (style == "window") {
                options.Style = PlotStyle::Window;
            } else {
                throw ToolError("--style is print or window, not '" + std::string(style) + "'");
            }
        } else if (name.starts_with("-") && name.size() > 1) {
            throw ToolError("unknown option '" + std::string(arg.Arg()) + "'");
        } else if (!options.Input.empty()) {
            throw ToolError("plot takes one input file");
        } else {
            options.Input = std::string(arg.Arg());
        }
    }
    if (options.Input.empty())
        throw ToolError("plot needs an input file: plot INPUT -o OUT.png");
    if (!outputGiven || options.Output.empty())
        throw ToolError("plot needs the picture's file name: -o OUT.png or -o OUT.svg");
    if (EndsWithNoCase(options.Output, ".png")) {
        options.Format = PlotFormat::Png;
    } else if (EndsWithNoCase(options.Output, ".svg")) {
        options.Format = PlotFormat::Svg;
    } else {
        throw ToolError("the picture's name must end in .png or .svg, not '" + options.Output +
                        "'");
    }
    if (options.From && options.To && options.From->Utc == options.To->Utc &&
        options.From->Us >= options.To->Us)
        throw ToolError("--from must come before --to");
    return options;
}

std::string FormatElapsedLabel(double seconds, bool hours)
{
    const std::int64_t total = std::llround(seconds * 1000.0);
    const std::int64_t ms = total < 0 ? -total : total;
    const std::int64_t whole = ms / 1000;
    char text[48];
    if (hours) {
        std::snprintf(text, sizeof text, "%s%lld:%02d:%02d", total < 0 ? "-" : "",
                      static_cast<long long>(whole / 3600), static_cast<int>(whole / 60 % 60),
                      static_cast<int>(whole % 60));
    } else {
        std::snprintf(text, sizeof text, "%s%lld:%02d", total < 0 ? "-" : "",
                      static_cast<long long>(whole / 60), static_cast<int>(whole % 60));
    }
    return WithFraction(text, ms % 1000);
}

std::string FormatTimeOfDayLabel(double secondsSince1970)
{
    const UtcFields time = SplitUtc(std::llround(secondsSince1970 * 1000.0));
    return WithFraction(FormatUtc(UtcLayout::TimeOfDay, time), time.Millisecond);
}

std::string FormatUtcDate(std::int64_t usSince1970)
{
    const std::int64_t ms = usSince1970 / 1000 - (usSince1970 % 1000 < 0 ? 1 : 0);
    return FormatUtc(UtcLayout::Date, SplitUtc(ms));
}

double NextTimeStep(double step)
{
    if (step < 1) {
        const double next = TCustomChartAxis::NextLabelStep(step);
        return next > 1 ? 1.0 : next;
    }
    static constexpr std::array<double, 18> Steps{
        1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    for (const double s : Steps) {
        if (s > step)
            return s;
    }
    return TCustomChartAxis::NextLabelStep(step / 86400.0) * 86400.0;
}

} // namespace rv
