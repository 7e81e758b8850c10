#include "PlotSvg.h"

namespace rv {

bool SvgOutputAvailable()
{
    return false;
}

std::string WriteSvg(PlotChart&, const std::string&, const std::string&, const std::string&)
{
    return "this rangeview-cli was built without Qt SVG";
}

} // namespace rv
