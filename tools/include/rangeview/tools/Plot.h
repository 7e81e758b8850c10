#pragma once

#include "rangeview/tools/Cli.h"

namespace rv {

// `rangeview-cli plot`: a recording drawn to a PNG or SVG picture. The only command that starts
// Qt: it makes a GUI application on the offscreen platform (unless QT_QPA_PLATFORM names
// another), so it runs without a display. Without a Qt GUI in the build it only says so.
CliCommand PlotCliCommand();

} // namespace rv
