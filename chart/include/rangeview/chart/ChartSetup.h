#pragma once

#include "rangeview/chart/Chart.h"
#include "rangeview/chart/Series.h"

namespace rv {

// The size the main window gives Chart1.
constexpr std::int32_t Chart1Width = 953;
constexpr std::int32_t Chart1Height = 313;

// Sets chart up as the main window's Chart1 (size, gradient, margins, title, bevels, walls,
// axes) and gives it its one series, Series1, a red fast line of width 3, owned by the chart.
// Returns Series1.
TFastLineSeries* ConfigureChart1(TChart& chart);

// The title text of Chart1.
extern const char* const Chart1TitleText;

} // namespace rv
