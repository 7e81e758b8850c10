#include "rangeview/tools/DistanceSignal.h"

#include "rangeview/tools/InputFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>
#include <string>

namespace rv {

DistanceSignal DistanceSignal::Sine()
{
    return DistanceSignal(Kind::Sine);
}

DistanceSignal DistanceSignal::Steps()
{
    return DistanceSignal(Kind::Steps);
}

DistanceSignal DistanceSignal::Noise(std::uint64_t seed)
{
    DistanceSignal signal(Kind::Noise);
    signal.Rng_.seed(seed);
    return signal;
}

DistanceSignal DistanceSignal::FromValues(std::vector<std::uint16_t> values)
{
    if (values.empty())
        throw ToolError("signal has no values");
    DistanceSignal signal(Kind::Values);
    signal.Values_ = std::move(values);
    return signal;
}

bool ParseDistanceLine(std::string_view line, std::uint16_t& value)
{
    if (const auto hash = line.find('#'); hash != std::string_view::npos)
        line = line.substr(0, hash);
    if (const auto comma = line.find(','); comma != std::string_view::npos)
        line = line.substr(0, comma);
    const auto first = line.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return false;
    const auto last = line.find_last_not_of(" \t\r\n");
    line = line.substr(first, last - first + 1);

    unsigned parsed = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), parsed);
    if (error != std::errc() || end != line.data() + line.size() || parsed > 65535)
        throw ToolError("'" + std::string(line) + "' is not a distance from 0 to 65535 mm");
    value = static_cast<std::uint16_t>(parsed);
    return true;
}

DistanceSignal DistanceSignal::FromFile(const char* path)
{
    std::string text;
    try {
        InputFile file(path);
        char chunk[16 * 1024];
        for (;;) {
            const std::size_t got = file.Read(std::span(chunk));
            text.append(chunk, got);
            if (got < sizeof chunk)
                break;
        }
    } catch (const ToolError& error) {
        throw ToolError(std::string("signal file ") + error.what());
    }
    std::vector<std::uint16_t> values;
    std::string_view rest = text;
    // A list saved by a Windows editor or spreadsheet may start with a byte-order mark.
    if (rest.starts_with("\xEF\xBB\xBF"))
        rest.remove_prefix(3);
    for (unsigned lineNumber = 1; !rest.empty(); ++lineNumber) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        std::uint16_t value = 0;
        try {
            if (ParseDistanceLine(line, value))
                values.push_back(value);
        } catch (const ToolError& error) {
            throw ToolError(std::string(path) + ":" + std::to_string(lineNumber) + ": " +
                            error.what());
        }
    }
    if (values.empty())
        throw ToolError(std::string("signal file '") + path + "' holds no distances");
    return FromValues(std::move(values));
}

DistanceSignal DistanceSignal::Parse(std::string_view text, std::uint64_t seed)
{
    if (text == "sine")
        return Sine();
    if (text == "steps")
        return Steps();
    if (text == "noise")
        return Noise(seed);
    constexpr std::string_view filePrefix = "file:";
    if (text.starts_with(filePrefix) && text.size() > filePrefix.size())
        return FromFile(std::string(text.substr(filePrefix.size())).c_str());
    throw ToolError("unknown signal '" + std::string(text) + "' (sine, steps, noise, file:PATH)");
}

std::uint16_t DistanceSignal::Next()
{
    const std::uint64_t k = Sample_++;
    switch (Kind_) {
    case Kind::Sine: {
        const double phase = 2.0 * std::numbers::pi * static_cast<double>(k % 100) / 100.0;
        return static_cast<std::uint16_t>(std::lround(1500.0 + 1000.0 * std::sin(phase)));
    }
    case Kind::Steps: {
        constexpr std::uint16_t levels[] = {500, 1200, 800, 2000};
        return levels[(k / 25) % 4];
    }
    case Kind::Noise: {
        // Mean-reverting walk plus measurement jitter of a few millimetres.
        std::uniform_real_distribution<double> step(-25.0, 25.0);
        std::uniform_real_distribution<double> jitter(-4.0, 4.0);
        Level_ += step(Rng_) + 0.02 * (1000.0 - Level_);
        Level_ = std::clamp(Level_, 30.0, 12000.0);
        return static_cast<std::uint16_t>(std::lround(Level_ + jitter(Rng_)));
    }
    case Kind::Values:
        return Values_[k % Values_.size()];
    }
    return 0;
}

} // namespace rv
