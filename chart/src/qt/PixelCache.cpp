#include "PixelCache.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <utility>

namespace rv::pixelcache {

bool PlainPixels(const QImage& image)
{
    const QImage::Format f = image.format();
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32_Premultiplied;
}

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

namespace {
constexpr std::size_t SmallSlots = static_cast<std::size_t>((2 * SegmentStamps::SmallExtent + 1) *
                                                            (2 * SegmentStamps::SmallExtent + 1));

// dx and dy in 24 bits each, the phase in 8 bits each.
std::uint64_t StampId(std::int32_t dx, std::int32_t dy, QPoint phase)
{
    return (static_cast<std::uint64_t>(phase.x()) << 56) |
           (static_cast<std::uint64_t>(phase.y()) << 48) |
           ((static_cast<std::uint64_t>(static_cast<std::uint32_t>(dx)) & 0xFFFFFFu) << 24) |
           (static_cast<std::uint64_t>(static_cast<std::uint32_t>(dy)) & 0xFFFFFFu);
}

std::int32_t SignExtend24(std::uint64_t v)
{
    const auto bits = static_cast<std::int32_t>(static_cast<std::uint32_t>(v & 0xFFFFFFu) << 8);
    return bits / 256;
}

int RoundUp(int v, int period)
{
    return (v + period - 1) / period * period;
}

// The index slot of a short segment, or SmallSlots.
std::size_t SmallSlot(std::int32_t dx, std::int32_t dy)
{
    constexpr std::int32_t e = SegmentStamps::SmallExtent;
    if (std::abs(dx) > e || std::abs(dy) > e)
        return SmallSlots;
    return static_cast<std::size_t>((dy + e) * (2 * e + 1) + dx + e);
}

std::size_t StampBytes(const SegmentStamp& stamp)
{
    // The map's node: the key, the stamp and the link to the next node.
    using Node = std::pair<const std::uint64_t, SegmentStamp>;
    return TCacheBudget::Allocated(sizeof(Node) + sizeof(void*)) +
           TCacheBudget::Allocated(stamp.Runs.capacity() * sizeof(SegmentStamp::Run)) +
           TCacheBudget::Allocated(stamp.Offsets.capacity() * sizeof(std::int32_t));
}

void MakeOffsets(SegmentStamp& stamp, qsizetype stride)
{
    std::size_t n = 0;
    for (const SegmentStamp::Run& run : stamp.Runs)
        n += static_cast<std::size_t>(run.Length);
    stamp.Offsets.clear();
    stamp.Offsets.shrink_to_fit();
    stamp.Offsets.reserve(n);
    for (const SegmentStamp::Run& run : stamp.Runs) {
        for (std::int32_t i = 0; i < run.Length; ++i) {
            stamp.Offsets.push_back(
                static_cast<std::int32_t>(static_cast<qsizetype>(run.Dy) * stride + run.X0 + i));
        }
    }
    stamp.OffsetStride = stride;
}
} // namespace

void StampStroke::Evict(TCacheBudget::Entry& entry)
{
    const auto& stamp = static_cast<const SegmentStamp&>(entry);
    const std::uint64_t id = stamp.Id;
    if ((id >> 48) == 0) {
        const std::size_t slot = SmallSlot(SignExtend24(id >> 24), SignExtend24(id));
        if (slot < Small.size())
            Small[slot] = nullptr;
    }
    Stamps.erase(id);
    // Buckets stay after erasing; a map that shrank far below them is packed again.
    if (Stamps.bucket_count() > 64 && Stamps.size() * 8 < Stamps.bucket_count()) {
        Stamps.rehash(0);
        ChargeFixed();
    }
}

void StampStroke::ChargeFixed()
{
    TCacheBudget::Shared().Charge(
        Fixed, TCacheBudget::Allocated(sizeof(StampStroke)) +
                   TCacheBudget::Allocated(Small.capacity() * sizeof(const SegmentStamp*)) +
                   TCacheBudget::Allocated(Stamps.bucket_count() * sizeof(void*)));
}

SegmentStamps::Stroke& SegmentStamps::Select(const StrokeKey& key)
{
    for (const auto& s : Strokes_) {
        if (s->Key == key)
            return *s;
    }
    // A few pens are in use at a time; a run of different ones (an edited chart) starts over
    // rather than growing without end.
    if (Strokes_.size() >= 16)
        Strokes_.clear();
    Strokes_.push_back(std::make_unique<Stroke>());
    Strokes_.back()->Key = key;
    Strokes_.back()->ChargeFixed();
    return *Strokes_.back();
}

const SegmentStamp& SegmentStamps::Get(Stroke& stroke, const QPen& pen, std::int32_t dx,
                                       std::int32_t dy, QPoint phase, const DeviceGrid& grid,
                                       qsizetype stride)
{
    TCacheBudget& budget = TCacheBudget::Shared();
    // The index serves the phase 0 only (every segment, at a ratio of 1).
    const std::size_t slot = phase.isNull() ? SmallSlot(dx, dy) : SmallSlots;
    const SegmentStamp* known = slot < stroke.Small.size() ? stroke.Small[slot] : nullptr;
    const std::uint64_t id = StampId(dx, dy, phase);
    if (!known) {
        if (auto it = stroke.Stamps.find(id); it != stroke.Stamps.end())
            known = &it->second;
    }
    if (known) {
        // Entries of an unordered_map stay where they are while others come and go.
        auto& stamp = const_cast<SegmentStamp&>(*known);
        if (slot < SmallSlots) {
            if (stroke.Small.empty()) {
                stroke.Small.assign(SmallSlots, nullptr);
                stroke.ChargeFixed();
            }
            stroke.Small[slot] = &stamp;
        }
        if (stamp.OneColor && stamp.OffsetStride != stride) {
            MakeOffsets(stamp, stride);
            budget.Charge(stamp, StampBytes(stamp));
        } else {
            budget.Touch(stamp);
        }
        return stamp;
    }

    const auto bucketsBefore = stroke.Stamps.bucket_count();
    SegmentStamp& stamp = stroke.Stamps.try_emplace(id, &stroke, id).first->second;
    if (stroke.Stamps.bucket_count() != bucketsBefore)
        stroke.ChargeFixed();
    const StrokeKey& key = stroke.Key;
    // The segment starts at the phase past a period's start: that start is the stamp's origin.
    const int q = grid.Period;
    const int margin = RoundUp(std::max(pen.width(), 1) + 3, q);
    const QPoint origin(margin + RoundUp(std::max(-dx, 0), q),
                        margin + RoundUp(std::max(-dy, 0), q));
    const int wl = origin.x() + q + std::max(dx, 0) + margin + 1;
    const int hl = origin.y() + q + std::max(dy, 0) + margin + 1;
    const int w = static_cast<int>(std::ceil(wl * grid.Ratio));
    const int h = static_cast<int>(std::ceil(hl * grid.Ratio));
    QImage scratch(w, h, QImage::Format_ARGB32_Premultiplied);
    scratch.setDevicePixelRatio(grid.Ratio);
    scratch.fill(0);
    const QPoint a = origin + phase;
    const QPoint o(origin.x() / q * grid.Step, origin.y() / q * grid.Step);
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
            stamp.Runs.push_back(SegmentStamp::Run{y - o.y(), x - o.x(), end - x, c});
            stamp.Bounds |= QRect(x - o.x(), y - o.y(), end - x, 1);
            x = end;
        }
    }
    stamp.OneColor =
        stamp.Usable && !stamp.Runs.empty() &&
        std::all_of(stamp.Runs.begin(), stamp.Runs.end(), [&](const SegmentStamp::Run& r) {
            return r.Color == stamp.Runs.front().Color;
        });
    stamp.Runs.shrink_to_fit();
    if (stamp.OneColor)
        MakeOffsets(stamp, stride);
    if (!stamp.Usable || !budget.Fits(StampBytes(stamp))) {
        // Kept empty, so the shape is not drawn again only to find the same.
        stamp.Usable = false;
        stamp.OneColor = false;
        std::vector<SegmentStamp::Run>().swap(stamp.Runs);
        std::vector<std::int32_t>().swap(stamp.Offsets);
    }
    if (slot < SmallSlots) {
        if (stroke.Small.empty()) {
            stroke.Small.assign(SmallSlots, nullptr);
            stroke.ChargeFixed();
        }
        stroke.Small[slot] = &stamp;
    }
    budget.Charge(stamp, StampBytes(stamp));
    return stamp;
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
        if (stamp.OneColor && stamp.OffsetStride == stride) {
            const QRgb c = stamp.Runs.front().Color | 0xFF000000u;
            for (const std::int32_t offset : stamp.Offsets)
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
