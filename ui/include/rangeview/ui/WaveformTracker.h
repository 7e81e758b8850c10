#pragma once

#include <array>
#include <cstdint>

namespace rv {

class TChartSeries;

// Receives the tracker's diagnostic values once per point, before the countdowns move.
class WaveformDiagnostics {
public:
    virtual void Diagnostics(std::uint8_t maxIndex, std::uint8_t minIndex, double vMaximum,
                             double vMinimum) = 0;

protected:
    ~WaveformDiagnostics() = default;
};

// Keeps the waveform in view after every added point: slides the horizontal axis over the
// last 200 X positions and fits the vertical axis to the recent values, widening at once and
// narrowing only when a rescan of the ring finds a margin above 3.
class WaveformTracker {
public:
    static constexpr int RingSize = 200;
    static constexpr std::int64_t WindowWidth = 199; // last X minus first X shown

    std::array<double, RingSize> WaveRing{};
    std::int32_t WaveRingPos = 0;
    double WaveMax = 0.0;
    double WaveMin = 0.0;
    std::uint8_t WaveMaxIndex = 0;
    std::uint8_t WaveMinIndex = 0;

    // Runs after each point added to sender. sampleIndex is the X of that point.
    // Never throws for an axis the user scrolled: see the horizontal step.
    void AfterAdd(TChartSeries& sender, std::int64_t sampleIndex, WaveformDiagnostics* diag);

    // Back to the start state (WaveMax and WaveMin are set afresh by every point).
    void Reset();
};

} // namespace rv
