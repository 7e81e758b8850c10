#pragma once

#include <cstdint>

#include "AxisPaint.h"
#include "Canvas3D.h"
#include "rangeview/chart/Chart.h"
#include "rangeview/chart/Colors.h"
#include "rangeview/chart/Geometry.h"
#include "rangeview/chart/Pens.h"
#include "rangeview/chart/Surface.h"

namespace rv {

// Module-level drawing settings.
constexpr std::int32_t TitleSpacing = 5;
constexpr bool DrawAxesBeforeSeries = true;

} // namespace rv
