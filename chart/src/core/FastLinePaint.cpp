#include "FastLinePaint.h"

#include <algorithm>

namespace rv {

void PrepareFastLinePen(const TFastLineSeries& series, TCanvas3D& canvas)
{
    canvas.AssignPen(series.LinePen());
    canvas.SetBrush(canvas.Brush().Color, TBrushStyle::bsClear);
}

void DrawFastLineValue(TFastLineSeries& series, TCanvas3D& canvas, std::int32_t index)
{
    const std::int32_t x = series.PointPixelX(index);
    const std::int32_t y = series.PointPixelY(index);
    if (index == series.VisibleFirst) {
        if (index > 0) {
            canvas.MoveTo(series.PointPixelX(index - 1), series.PointPixelY(index - 1));
            canvas.LineTo(x, y);
        } else {
            canvas.MoveTo(x, y);
        }
    } else {
        if (x == series.LastX && y == series.LastY)
            return;
        canvas.LineTo(x, y);
    }
    series.LastX = x;
    series.LastY = y;
}

void DrawFastLineValues(TFastLineSeries& series, TCanvas3D& canvas)
{
    // A range left over from before the points changed must not read past the end.
    const std::int32_t last = std::min(series.VisibleLast, series.PointCount() - 1);
    if (series.VisibleFirst < 0 || series.VisibleFirst > last)
        return;
    PrepareFastLinePen(series, canvas);
    for (std::int32_t i = series.VisibleFirst; i <= last; ++i) {
        DrawFastLineValue(series, canvas, i);
    }
}

} // namespace rv
