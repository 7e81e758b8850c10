#include "PlotSvg.h"

#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

#include "rangeview/tools/PlotChart.h"

namespace rv {

bool SvgOutputAvailable()
{
    return true;
}

std::string WriteSvg(PlotChart& chart, const std::string& path, const std::string& title,
                     const std::string& description)
{
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString().toStdString();
    const QSize size(chart.Width(), chart.Height());
    QSvgGenerator svg;
    svg.setOutputDevice(&file);
    svg.setSize(size);
    // The size in the file's physical units comes out as these pixels at the usual 96 dpi.
    svg.setResolution(96);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QString::fromStdString(title));
    svg.setDescription(QString::fromStdString(description));
    QPainter painter;
    if (!painter.begin(&svg))
        return "cannot start the SVG drawing";
    chart.Paint(painter, true);
    painter.end();
    if (!file.commit())
        return file.errorString().toStdString();
    return {};
}

} // namespace rv
