#include "rangeview/tools/Plot.h"

namespace rv {

// A build without a Qt GUI (RANGEVIEW_WITH_QT off) has no chart to draw with.
CliCommand PlotCliCommand()
{
    return {"plot", "plot INPUT -o OUT.png", "not built in: this build has no Qt GUI",
            [](std::span<const std::string_view>, CliIo& io) {
                io.Err << "rangeview-cli: plot: this rangeview-cli was built without Qt\n";
                return 2;
            }};
}

} // namespace rv
