#pragma once

#include <array>
#include <cmath>
#include <cstdint>

#include "Canvas3D.h"
#include "rangeview/chart/Axis.h"
#include "rangeview/chart/Chart.h"

namespace rv {

// Draws one axis of its chart: labels, axis line, ticks, grid and minor ticks, on canvas.
// Uses the layout state of the last layout; fills `ticks` with the label positions.
void PaintAxis(TCustomChartAxis& axis, TCanvas3D& canvas, TTickPositions& ticks);

// The label values PaintAxis produces for an effective range and step, top value first, each
// passed to `place`. Returns how many were produced.
template <class Place>
std::int32_t ForEachDefaultLabelValue(double minimum, double maximum, double step,
                                      bool roundFirstLabel, Place&& place);

// --- implementation -------------------------------------------------------------------------

double FirstDefaultLabelValue(double minimum, double maximum, double step, bool roundFirstLabel);

template <class Place>
std::int32_t ForEachDefaultLabelValue(double minimum, double maximum, double step,
                                      bool roundFirstLabel, Place&& place)
{
    if (!(step > 0.0) || !(maximum >= minimum))
        return 0;
    const double range = maximum - minimum;
    if (!(std::abs(range / step) < 10000.0))
        return 0;
    double v = FirstDefaultLabelValue(minimum, maximum, step, roundFirstLabel);
    // The step can be below the spacing of doubles near v; then subtracting it changes
    // nothing and the loops would never end, so they stop once v stops moving.
    while (v > maximum) {
        const double next = v - step;
        if (!(next < v))
            return 0;
        v = next;
    }
    const double limit = (minimum - 1e-12) / 1.000000000001;
    std::int32_t count = 0;
    while (v >= limit) {
        place(v);
        ++count;
        const double next = v - step;
        if (!(next < v))
            break;
        v = next;
    }
    return count;
}

} // namespace rv
