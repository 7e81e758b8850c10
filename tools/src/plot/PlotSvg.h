// SVG output of plot, present only when the build has Qt SVG (the source is picked by CMake).
#pragma once

#include <string>

namespace rv {

class PlotChart;

bool SvgOutputAvailable();
// Draws the chart as a vector picture into path, through a temporary file renamed into place.
// Returns the reason it could not be written, or an empty text.
std::string WriteSvg(PlotChart& chart, const std::string& path, const std::string& title,
                     const std::string& description);

} // namespace rv
