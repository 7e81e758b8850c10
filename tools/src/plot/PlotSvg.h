// SVG output of plot, present only when the build has Qt SVG (the source is picked by CMake).
#pragma once

#include <QByteArray>

#include <string>

namespace rv {

class PlotChart;

bool SvgOutputAvailable();
// The chart as a vector picture, the file's bytes. Throws std::runtime_error when it cannot be
// made.
QByteArray SvgPicture(PlotChart& chart, const std::string& title, const std::string& description);

} // namespace rv
