#pragma once

#include <QImage>
#include <QPen>
#include <QPoint>
#include <QRect>

#include <memory>
#include <vector>

namespace rv::pixelcache {

struct DeviceGrid;
struct StampStroke;

// The pixels of aliased line segments as QPainter puts them down, drawn once per pen and shape
// and written directly after: a waveform is thousands of short segments of a few shapes.
// QtSurface draws its solid lines (and single segments of patterned pens) through here when it
// draws into an image. A line is the same pixels wherever it starts on the integer grid, so one
// drawing per pen and (dx, dy) serves every later segment of that shape (on a scaled image, of
// that shape and phase on the device grid). The stamps share the chart's cache budget.
class SegmentStamps {
public:
    SegmentStamps();
    ~SegmentStamps();
    SegmentStamps(const SegmentStamps&) = delete;
    SegmentStamps& operator=(const SegmentStamps&) = delete;

    // The pen or the background changed since the last segment.
    void StrokeChanged() { Current_ = nullptr; }
    // Writes the segment from a up to b as QPainter draws a polyline of these two points with
    // this pen over this background (opaque or not), inside `writable`; false, with nothing
    // written, where no stamp can stand for it.
    bool Draw(QImage& image, QPoint a, QPoint b, const QPen& pen, bool opaqueBackground,
              QRgb background, const DeviceGrid& grid, const QRect& writable);

private:
    StampStroke& Current(const QPen& pen, bool opaqueBackground, QRgb background, qreal ratio);

    std::vector<std::unique_ptr<StampStroke>> Strokes_;
    // The stroke of the latest segment; null after StrokeChanged.
    StampStroke* Current_ = nullptr;
};

} // namespace rv::pixelcache
