#pragma once

#include <cstdint>

#include "Canvas3D.h"
#include "rangeview/chart/Series.h"

namespace rv {

// Drawing of a fast line series: one polyline from the point before VisibleFirst through
// VisibleLast, consecutive points on the same pixel merged.

// LinePen onto the canvas (invisible: no pen), brush clear.
void PrepareFastLinePen(const TFastLineSeries& series, TCanvas3D& canvas);
// Value `index` as part of the polyline; the first visible one also draws the segment that
// enters from the point before it.
void DrawFastLineValue(TFastLineSeries& series, TCanvas3D& canvas, std::int32_t index);
// Every value from VisibleFirst to VisibleLast (as FindVisibleRange left them).
void DrawFastLineValues(TFastLineSeries& series, TCanvas3D& canvas);

} // namespace rv
