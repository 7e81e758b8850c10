#include "PlotSvg.h"

#include <QBuffer>
#include <QPainter>
#include <QSvgGenerator>

#include <stdexcept>

#include "rangeview/tools/PlotChart.h"

namespace rv {

namespace {

// Text for the file's title and description, which the generator writes as it gets them: the
// markup characters as entities, so that a file name or a title cannot end the element early or
// carry elements of its own.
QString Escaped(const std::string& text)
{
    return QString::fromStdString(text).toHtmlEscaped();
}

} // namespace

bool SvgOutputAvailable()
{
    return true;
}

QByteArray SvgPicture(PlotChart& chart, const std::string& title, const std::string& description)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QSize size(chart.Width(), chart.Height());
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    // The size in the file's physical units comes out as these pixels at the usual 96 dpi.
    svg.setResolution(96);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(Escaped(title));
    svg.setDescription(Escaped(description));
    QPainter painter;
    if (!painter.begin(&svg))
        throw std::runtime_error("cannot start the SVG drawing");
    chart.Paint(painter, true);
    painter.end();
    buffer.close();
    return bytes;
}

} // namespace rv
