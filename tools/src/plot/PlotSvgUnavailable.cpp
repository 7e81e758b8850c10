#include "PlotSvg.h"

#include <stdexcept>

namespace rv {

bool SvgOutputAvailable()
{
    return false;
}

QByteArray SvgPicture(PlotChart&, const std::string&, const std::string&)
{
    throw std::runtime_error("this rangeview-cli was built without Qt SVG");
}

} // namespace rv
