#include "PixelCache.h"

#include <QPainter>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace rv::pixelcache {

bool PlainPixels(const QImage& image)
{
    const QImage::Format f = image.format();
    return (f == QImage::Format_RGB32 || f == QImage::Format_ARGB32_Premultiplied) &&
           image.devicePixelRatio() == 1.0;
}

namespace {
QRgb* Row(QImage& image, int y)
{
    // Callers checked the image is detached: the buffer is the image's own, the one its painter draws into.
    return reinterpret_cast<QRgb*>(const_cast<uchar*>(image.constBits()) +
                                   static_cast<qsizetype>(y) * image.bytesPerLine());
}
const QRgb* Row(const QImage& image, int y)
{
    return reinterpret_cast<const QRgb*>(image.constBits() +
                                         static_cast<qsizetype>(y) * image.bytesPerLine());
}
} // namespace

void Fill(QImage& image, const QRect& r, QRgb color)
{
    const QRgb c = color | 0xFF000000u;
    const qsizetype stride = image.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
    const auto w = static_cast<std::size_t>(r.width());
    // The first row by doubling in place (memcpy is far faster than a loop of stores), the
    // others copied from it: a gradient is hundreds of fills of a row or two each.
    QRgb* first = Row(image, r.top()) + r.left();
    const std::size_t seed = std::min<std::size_t>(w, 8);
    std::fill(first, first + seed, c);
    for (std::size_t done = seed; done < w;) {
        const std::size_t n = std::min(done, w - done);
        std::memcpy(first + done, first, n * sizeof(QRgb));
        done += n;
    }
    const std::size_t bytes = w * sizeof(QRgb);
    QRgb* row = first + stride;
    for (int y = r.top() + 1; y <= r.bottom(); ++y, row += stride)
        std::memcpy(row, first, bytes);
}

SegmentStamps::Stroke& SegmentStamps::Select(const StrokeKey& key)
{
    for (const auto& s : Strokes_) {
        if (s->Key == key)
            return *s;
    }
    // A few pens are in use at a time; a run of different ones (an edited chart) starts over
    // rather than growing without end.
    if (Strokes_.size() >= 16) {
        Strokes_.clear();
        Stamps_ = 0;
    }
    Strokes_.push_back(std::make_unique<Stroke>());
    Strokes_.back()->Key = key;
    return *Strokes_.back();
}

const SegmentStamp& SegmentStamps::Get(Stroke& stroke, const QPen& pen, std::int32_t dx,
                                       std::int32_t dy)
{
    const bool small = std::abs(dx) <= SmallExtent && std::abs(dy) <= SmallExtent;
    const std::size_t slot =
        small ? static_cast<std::size_t>((dy + SmallExtent) * (2 * SmallExtent + 1) + dx +
                                         SmallExtent)
              : 0;
    if (small && !stroke.Small.empty() && stroke.Small[slot])
        return *stroke.Small[slot];
    const std::uint64_t id = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(dx)) << 32) |
                             static_cast<std::uint32_t>(dy);
    if (auto it = stroke.Stamps.find(id); it != stroke.Stamps.end()) {
        if (small)
            Remember(stroke, slot, it->second);
        return it->second;
    }
    if (Stamps_ >= 20000) {
        for (const auto& s : Strokes_) {
            s->Stamps.clear();
            s->Small.clear();
        }
        Stamps_ = 0;
    }
    const StrokeKey& key = stroke.Key;

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
            while (end < w && row[end] == c)
                ++end;
            if (end == w) {
                stamp.Usable = false;
                break;
            }
            stamp.Runs.push_back(SegmentStamp::Run{y - a.y(), x - a.x(), end - x, c});
            stamp.Bounds |= QRect(x - a.x(), y - a.y(), end - x, 1);
            x = end;
        }
    }
    if (!stamp.Usable)
        stamp.Runs.clear();
    stamp.OneColor =
        !stamp.Runs.empty() &&
        std::all_of(stamp.Runs.begin(), stamp.Runs.end(), [&](const SegmentStamp::Run& r) {
            return r.Color == stamp.Runs.front().Color;
        });
    ++Stamps_;
    // Entries of an unordered_map stay where they are while others come and go.
    const SegmentStamp& stored = stroke.Stamps.emplace(id, std::move(stamp)).first->second;
    if (small)
        Remember(stroke, slot, stored);
    return stored;
}

void SegmentStamps::Remember(Stroke& stroke, std::size_t slot, const SegmentStamp& stamp)
{
    if (stroke.Small.empty()) {
        stroke.Small.assign(static_cast<std::size_t>((2 * SmallExtent + 1) * (2 * SmallExtent + 1)),
                            nullptr);
    }
    stroke.Small[slot] = &stamp;
}

void Apply(QImage& image, const SegmentStamp& stamp, QPoint a, const QRect& clip)
{
    const int bl = a.x() + stamp.Bounds.left();
    const int bt = a.y() + stamp.Bounds.top();
    const int br = a.x() + stamp.Bounds.right();
    const int bb = a.y() + stamp.Bounds.bottom();
    const qsizetype stride = image.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
    QRgb* const origin =
        reinterpret_cast<QRgb*>(const_cast<uchar*>(image.constBits())) + a.y() * stride + a.x();
    const int cl = clip.left();
    const int ct = clip.top();
    const int cr = clip.right();
    const int cb = clip.bottom();
    if (bl >= cl && br <= cr && bt >= ct && bb <= cb) {
        if (stamp.OneColor) {
            // Dotted lines are mostly runs of one pixel: a flat list of offsets for this row
            // length writes them fastest.
            if (stamp.OffsetStride != stride) {
                stamp.Offsets.clear();
                for (const SegmentStamp::Run& run : stamp.Runs) {
                    for (std::int32_t i = 0; i < run.Length; ++i) {
                        stamp.Offsets.push_back(static_cast<qsizetype>(run.Dy) * stride + run.X0 +
                                                i);
                    }
                }
                stamp.OffsetStride = stride;
            }
            const QRgb c = stamp.Runs.front().Color | 0xFF000000u;
            for (const qsizetype offset : stamp.Offsets)
                origin[offset] = c;
            return;
        }
        for (const SegmentStamp::Run& run : stamp.Runs) {
            QRgb* to = origin + run.Dy * stride + run.X0;
            const QRgb c = run.Color | 0xFF000000u;
            for (std::int32_t i = 0; i < run.Length; ++i)
                to[i] = c;
        }
        return;
    }
    if (br < cl || bl > cr || bb < ct || bt > cb)
        return;
    const int left = cl - a.x();
    const int right = cr + 1 - a.x();
    const int top = ct - a.y();
    const int bottom = cb - a.y();
    for (const SegmentStamp::Run& run : stamp.Runs) {
        if (run.Dy < top || run.Dy > bottom)
            continue;
        const int x0 = std::max(run.X0, left);
        const int x1 = std::min(run.X0 + run.Length, right);
        QRgb* to = origin + run.Dy * stride;
        const QRgb c = run.Color | 0xFF000000u;
        for (int x = x0; x < x1; ++x)
            to[x] = c;
    }
}

void Read(const QImage& image, const QRect& r, std::vector<QRgb>& out)
{
    out.resize(static_cast<std::size_t>(r.width()) * static_cast<std::size_t>(r.height()));
    QRgb* to = out.data();
    for (int y = r.top(); y <= r.bottom(); ++y, to += r.width()) {
        std::memcpy(to, Row(image, y) + r.left(),
                    static_cast<std::size_t>(r.width()) * sizeof(QRgb));
    }
}

bool Same(const QImage& image, const QRect& r, const std::vector<QRgb>& pixels)
{
    if (pixels.size() != static_cast<std::size_t>(r.width()) * static_cast<std::size_t>(r.height()))
        return false;
    const QRgb* from = pixels.data();
    for (int y = r.top(); y <= r.bottom(); ++y, from += r.width()) {
        if (std::memcmp(from, Row(image, y) + r.left(),
                        static_cast<std::size_t>(r.width()) * sizeof(QRgb)) != 0) {
            return false;
        }
    }
    return true;
}

void Write(QImage& image, const QRect& r, const std::vector<QRgb>& pixels)
{
    const QRgb* from = pixels.data();
    for (int y = r.top(); y <= r.bottom(); ++y, from += r.width()) {
        std::memcpy(Row(image, y) + r.left(), from,
                    static_cast<std::size_t>(r.width()) * sizeof(QRgb));
    }
}

} // namespace rv::pixelcache
