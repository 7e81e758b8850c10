#include "DeviceGrid.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

namespace rv::pixelcache {

namespace {
// First and end device column painted in row 0 (the end is one past), or (0, 0).
std::pair<int, int> PaintedColumns(const QImage& probe)
{
    const auto* row = reinterpret_cast<const QRgb*>(probe.constScanLine(0));
    int first = -1;
    int end = 0;
    for (int x = 0; x < probe.width(); ++x) {
        if (row[x] != 0xFFFFFFFFu) {
            if (first < 0)
                first = x;
            end = x + 1;
        }
    }
    return {std::max(first, 0), end};
}
} // namespace

bool DeviceGrid::Measure(qreal ratio)
{
    *this = DeviceGrid{};
    if (ratio == 1.0)
        return true;
    int period = 1;
    while (period <= MaxPeriod && std::floor(period * ratio) != period * ratio)
        ++period;
    if (period > MaxPeriod || !(ratio > 0))
        return false;
    Ratio = ratio;
    Period = period;
    Step = static_cast<int>(period * ratio);
    // Rectangles of one period from the second period on, at each phase: their device edges
    // less the device start of their period are the rounding of that phase.
    QImage probe(static_cast<int>(std::ceil(4 * period * ratio)) + 1, 1, QImage::Format_RGB32);
    probe.setDevicePixelRatio(ratio);
    for (int phase = 0; phase < period; ++phase) {
        const QRect r(period + phase, 0, period, 1);
        probe.fill(Qt::white);
        {
            QPainter p(&probe);
            p.fillRect(r, Qt::black);
        }
        auto [first, end] = PaintedColumns(probe);
        FillFirst[phase] = first - Step;
        FillEnd[phase] = end - 2 * Step;
        probe.fill(Qt::white);
        {
            QPainter p(&probe);
            p.setClipRect(r);
            p.fillRect(QRect(0, 0, 4 * period, 1), Qt::black);
        }
        std::tie(first, end) = PaintedColumns(probe);
        ClipFirst[phase] = first - Step;
        ClipEnd[phase] = end - 2 * Step;
    }
    return true;
}

std::int64_t DeviceGrid::Base(std::int64_t x) const
{
    const std::int64_t phase = ((x % Period) + Period) % Period;
    return (x - phase) / Period * Step;
}

namespace {
// Device edges far outside any image stay far outside, within int.
int Clamp(std::int64_t v)
{
    return static_cast<int>(std::clamp<std::int64_t>(v, -(1 << 28), 1 << 28));
}

QRect Edges(const DeviceGrid& g, const QRect& r,
            const std::array<int, DeviceGrid::MaxPeriod>& first,
            const std::array<int, DeviceGrid::MaxPeriod>& end)
{
    if (g.Period == 1 && g.Step == 1)
        return r;
    const std::int64_t left = std::int64_t{r.left()};
    const std::int64_t top = std::int64_t{r.top()};
    const std::int64_t right = std::int64_t{r.right()} + 1;
    const std::int64_t bottom = std::int64_t{r.bottom()} + 1;
    auto at = [&](std::int64_t v, const std::array<int, DeviceGrid::MaxPeriod>& table) {
        return g.Base(v) + table[static_cast<std::size_t>(((v % g.Period) + g.Period) % g.Period)];
    };
    const int x0 = Clamp(at(left, first));
    const int y0 = Clamp(at(top, first));
    const int x1 = Clamp(at(right, end));
    const int y1 = Clamp(at(bottom, end));
    return QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1));
}
} // namespace

QRect DeviceGrid::Fill(const QRect& r) const
{
    return Edges(*this, r, FillFirst, FillEnd);
}

QRect DeviceGrid::Clip(const QRect& r) const
{
    return Edges(*this, r, ClipFirst, ClipEnd);
}

} // namespace rv::pixelcache
