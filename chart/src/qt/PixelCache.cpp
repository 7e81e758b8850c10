#include "PixelCache.h"

#include <QPainter>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace rv::pixelcache {

bool Writable(const QImage& image) {
    const QImage::Format f = image.format();
    return (f == QImage::Format_RGB32 || f == QImage::Format_ARGB32_Premultiplied) &&
           image.devicePixelRatio() == 1.0 && image.isDetached();
}

namespace {
QRgb* Row(QImage& image, int y) {
    // Callers checked Writable: the buffer is the image's own, the one its painter draws into.
    return reinterpret_cast<QRgb*>(const_cast<uchar*>(image.constBits()) +
                                   static_cast<qsizetype>(y) * image.bytesPerLine());
}
const QRgb* Row(const QImage& image, int y) {
    return reinterpret_cast<const QRgb*>(image.constBits() + static_cast<qsizetype>(y) * image.bytesPerLine());
}
} // namespace

void Fill(QImage& image, const QRect& r, QRgb color) {
    const QRgb c = color | 0xFF000000u;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        QRgb* row = Row(image, y);
        std::fill(row + r.left(), row + r.left() + r.width(), c);
    }
}

const SegmentStamp& SegmentStamps::Get(const StrokeKey& key, const QPen& pen, std::int32_t dx, std::int32_t dy) {
    PerStroke* per = nullptr;
    for (PerStroke& s : strokes_) {
        if (s.Key == key) {
            per = &s;
            break;
        }
    }
    // A few pens are in use at a time; a run of different ones (an edited chart) starts over
    // rather than growing without end.
    if (!per && strokes_.size() >= 16) {
        strokes_.clear();
        stamps_ = 0;
    }
    if (!per) {
        strokes_.push_back(PerStroke{key, {}});
        per = &strokes_.back();
    }
    const std::uint64_t id = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(dx)) << 32) |
                             static_cast<std::uint32_t>(dy);
    if (auto it = per->Stamps.find(id); it != per->Stamps.end()) return it->second;
    if (stamps_ >= 20000) {
        for (PerStroke& s : strokes_) s.Stamps.clear();
        stamps_ = 0;
    }

    SegmentStamp stamp;
    const int margin = std::max(pen.width(), 1) + 3;
    const int w = std::abs(dx) + 2 * margin + 1;
    const int h = std::abs(dy) + 2 * margin + 1;
    QImage scratch(w, h, QImage::Format_ARGB32_Premultiplied);
    scratch.fill(0);
    const QPoint a(margin + std::max(-dx, 0), margin + std::max(-dy, 0));
    {
        QPainter p(&scratch);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.setBackgroundMode(key.OpaqueBackground ? Qt::OpaqueMode : Qt::TransparentMode);
        p.setBackground(QBrush(QColor::fromRgb(key.Background)));
        // The very call the surface makes for a run of one segment.
        const QPoint points[2] = {a, a + QPoint(dx, dy)};
        p.drawPolyline(points, 2);
    }
    stamp.Usable = true;
    for (int y = 0; y < h && stamp.Usable; ++y) {
        const QRgb* row = Row(static_cast<const QImage&>(scratch), y);
        int x = 0;
        while (x < w) {
            const QRgb c = row[x];
            if (qAlpha(c) == 0) {
                ++x;
                continue;
            }
            // A blended pixel, or one at the scratch's edge (the margin may not have held it all).
            if (qAlpha(c) != 255 || y == 0 || y == h - 1 || x == 0 || x == w - 1) {
                stamp.Usable = false;
                break;
            }
            int end = x + 1;
            while (end < w && row[end] == c) ++end;
            if (end == w) {
                stamp.Usable = false;
                break;
            }
            stamp.Runs.push_back(SegmentStamp::Run{y - a.y(), x - a.x(), end - x, c});
            stamp.Bounds |= QRect(x - a.x(), y - a.y(), end - x, 1);
            x = end;
        }
    }
    if (!stamp.Usable) stamp.Runs.clear();
    ++stamps_;
    return per->Stamps.emplace(id, std::move(stamp)).first->second;
}

void Apply(QImage& image, const SegmentStamp& stamp, QPoint a, const QRect& clip) {
    const QRect box = stamp.Bounds.translated(a);
    const bool inside = clip.contains(box);
    const int cl = clip.left();
    const int cr = clip.right() + 1;
    for (const SegmentStamp::Run& run : stamp.Runs) {
        const int y = a.y() + run.Dy;
        int x0 = a.x() + run.X0;
        int x1 = x0 + run.Length;
        if (!inside) {
            if (y < clip.top() || y > clip.bottom()) continue;
            x0 = std::max(x0, cl);
            x1 = std::min(x1, cr);
            if (x0 >= x1) continue;
        }
        QRgb* row = Row(image, y);
        const QRgb c = run.Color | 0xFF000000u;
        for (int x = x0; x < x1; ++x) row[x] = c;
    }
}

void Read(const QImage& image, const QRect& r, std::vector<QRgb>& out) {
    out.resize(static_cast<std::size_t>(r.width()) * static_cast<std::size_t>(r.height()));
    QRgb* to = out.data();
    for (int y = r.top(); y <= r.bottom(); ++y, to += r.width()) {
        std::memcpy(to, Row(image, y) + r.left(), static_cast<std::size_t>(r.width()) * sizeof(QRgb));
    }
}

bool Same(const QImage& image, const QRect& r, const std::vector<QRgb>& pixels) {
    if (pixels.size() != static_cast<std::size_t>(r.width()) * static_cast<std::size_t>(r.height())) return false;
    const QRgb* from = pixels.data();
    for (int y = r.top(); y <= r.bottom(); ++y, from += r.width()) {
        if (std::memcmp(from, Row(image, y) + r.left(), static_cast<std::size_t>(r.width()) * sizeof(QRgb)) != 0) {
            return false;
        }
    }
    return true;
}

void Write(QImage& image, const QRect& r, const std::vector<QRgb>& pixels) {
    const QRgb* from = pixels.data();
    for (int y = r.top(); y <= r.bottom(); ++y, from += r.width()) {
        std::memcpy(Row(image, y) + r.left(), from, static_cast<std::size_t>(r.width()) * sizeof(QRgb));
    }
}

} // namespace rv::pixelcache
