#pragma once

#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

#include "rangeview/tools/ToolError.h"

namespace rv {

// The distance the simulated module measures, one sample per frame.
class DistanceSignal {
public:
    // 1500 mm +- 1000 mm, one period per 100 samples (two periods across a 200-sample chart).
    static DistanceSignal Sine();
    // 500, 1200, 800, 2000 mm, each held for 25 samples.
    static DistanceSignal Steps();
    // A jittery random walk around 1000 mm, reproducible from the seed.
    static DistanceSignal Noise(std::uint64_t seed);
    // Replays the values in order, round and round; values must not be empty.
    static DistanceSignal FromValues(std::vector<std::uint16_t> values);
    // Reads one distance (0 to 65535 mm) per line; "#" comments and blank lines are skipped and
    // anything after a comma is ignored, so the output of "rangeview-cli decode" replays as is.
    static DistanceSignal FromFile(const char* path);
    // "sine", "steps", "noise" or "file:PATH". Throws ToolError.
    static DistanceSignal Parse(std::string_view text, std::uint64_t seed);

    std::uint16_t Next();

private:
    enum class Kind { Sine, Steps, Noise, Values };
    explicit DistanceSignal(Kind kind) : Kind_(kind) { }

    Kind Kind_;
    std::uint64_t Sample_ = 0;
    double Level_ = 1000.0;
    std::mt19937_64 Rng_;
    std::vector<std::uint16_t> Values_;
};

// Parses one distance line of a signal file; false when the line holds no value.
// Throws ToolError for a malformed value.
bool ParseDistanceLine(std::string_view line, std::uint16_t& value);

} // namespace rv
