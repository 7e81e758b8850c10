#include "rangeview/ui/WaveformTracker.h"

#include "rangeview/chart/Axis.h"
#include "rangeview/chart/Series.h"

namespace rv {

void WaveformTracker::AfterAdd(TChartSeries& sender, std::int64_t sampleIndex,
                               WaveformDiagnostics* diag)
{
    TCustomChartAxis& H = *sender.ResolvedHorizAxis();
    TCustomChartAxis& V = *sender.ResolvedVertAxis();
    // The Y of the point just added: X only grows, so it is the last one.
    const double y = sender.YValues().LastValue();

    // Horizontal window over the last 200 X positions, from the 201st point on.
    if (sampleIndex > WindowWidth) {
        if (H.Maximum() < 0) {
            // The user scrolled the axis below 0, so "Minimum := 0" would be refused and the
            // rest of the read would be lost. One combined write lands on the same window.
            const double last = sender.XValues().HighestValue();
            H.SetRange(last - static_cast<double>(WindowWidth), last);
        } else {
            H.SetAutomatic(false);
            H.SetMinimum(0);
            H.SetMaximum(sender.XValues().HighestValue());
            H.SetMinimum(H.Maximum() - static_cast<double>(WindowWidth));
        }
    }

    WaveMax = y;
    WaveMin = y;

    // Widen at once, with a margin of 1; the countdown starts at the slot before this one.
    if (y > V.Maximum()) {
        V.SetMaximum(y + 1);
        WaveMaxIndex = static_cast<std::uint8_t>(WaveRingPos - 1);
    }
    if (y < V.Minimum()) {
        V.SetMinimum(y - 1);
        WaveMinIndex = static_cast<std::uint8_t>(WaveRingPos - 1);
    }

    // Rescan (y and the 200 stored values, before y is stored) when a countdown ran out.
    if (WaveMinIndex == 0 || WaveMaxIndex == 0) {
        V.SetAutomatic(false);
        for (int i = 0; i < RingSize; ++i) {
            const double v = WaveRing[static_cast<std::size_t>(i)];
            if (v > WaveMax) {
                WaveMax = v;
                WaveMaxIndex = static_cast<std::uint8_t>(i);
            }
            if (v < WaveMin) {
                WaveMin = v;
                WaveMinIndex = static_cast<std::uint8_t>(i);
            }
        }
        if (V.Maximum() - WaveMax > 3)
            V.SetMaximum(WaveMax + 1);
        if (WaveMin - V.Minimum() > 3)
            V.SetMinimum(WaveMin - 1);
    }

    // The third point lifts the minimum off the 0 it started from.
    if (sampleIndex == 2)
        V.SetMinimum(y);

    if (diag != nullptr)
        diag->Diagnostics(WaveMaxIndex, WaveMinIndex, V.Maximum(), V.Minimum());

    if (WaveMaxIndex > 0)
        --WaveMaxIndex;
    if (WaveMinIndex > 0)
        --WaveMinIndex;

    WaveRing[static_cast<std::size_t>(WaveRingPos)] = y;
    ++WaveRingPos;
    if (WaveRingPos > RingSize - 1)
        WaveRingPos = 0;
}

void WaveformTracker::Reset()
{
    WaveRingPos = 0;
    WaveMaxIndex = 0;
    WaveMinIndex = 0;
    WaveRing.fill(0.0);
}

} // namespace rv
