#include "SegmentStamps.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <unordered_map>

#include "DeviceGrid.h"
#include "DirectPixels.h"
#include "rangeview/chart/CacheBudget.h"

namespace rv::pixelcache {

namespace {
// Segments longer than this on either axis are drawn directly (rare: far-off values).
constexpr std::int32_t MaxExtent = 1024;
// Short segments, the bulk of a waveform, are found by index rather than by hashing.
constexpr std::int32_t SmallExtent = 24;
} // namespace

// Pixels one aliased line segment puts down, relative to its start: horizontal runs of one
// colour each.
struct SegmentStamp : TCacheBudget::Entry {
    struct Run {
        std::int32_t Dy;
        std::int32_t X0;
        std::int32_t Length;
        QRgb Color;
    };
    explicit SegmentStamp(TCacheBudget::Holder* holder, std::uint64_t id)
        : TCacheBudget::Entry(holder), Id(id)
    {
    }
    // (dx, dy) as the stroke's map knows it.
    std::uint64_t Id;
    std::vector<Run> Runs;
    // The segment's pixels, relative to its start.
    QRect Bounds;
    // False when QPainter blended some pixel (the stamp cannot stand for it) or when the stamp
    // would take too much of the cache budget: draw directly.
    bool Usable = false;
    // All runs have one colour; then the pixels are also kept as offsets for one row length:
    // dotted lines are mostly runs of one pixel, and a flat list writes them fastest.
    bool OneColor = false;
    qsizetype OffsetStride = 0;
    std::vector<std::int32_t> Offsets;
};

// Everything besides (dx, dy) that decides a segment's pixels.
struct StrokeKey {
    QRgb PenColor = 0;
    std::int32_t Width = 1;
    std::int32_t Style = 0;
    std::int32_t Cap = 0;
    std::int32_t Join = 0;
    // The pattern of a custom dash style (empty for the others, which the style names).
    QList<qreal> Dashes;
    qreal Ratio = 1.0;
    bool OpaqueBackground = false;
    QRgb Background = 0;
    friend bool operator==(const StrokeKey&, const StrokeKey&) = default;
};

// The stamps of one pen and background.
struct StampStroke final : TCacheBudget::Holder {
    StrokeKey Key;
    std::unordered_map<std::uint64_t, SegmentStamp> Stamps;
    std::vector<const SegmentStamp*> Small;
    // The index and the map's buckets, which stay while stamps come and go.
    TCacheBudget::Entry Fixed;
    void Evict(TCacheBudget::Entry& entry) override;
    void ChargeFixed();
};

namespace {
constexpr std::size_t SmallSlots =
    static_cast<std::size_t>((2 * SmallExtent + 1) * (2 * SmallExtent + 1));

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
    constexpr std::int32_t e = SmallExtent;
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

namespace {

// The stamp for a segment of (dx, dy) with this pen starting at `phase` on the grid, drawn on
// first use, with its offsets made for rows `stride` pixels apart. Its pixels are device pixels
// from the device start of the segment's period. Valid until the next call.
const SegmentStamp& Stamp(StampStroke& stroke, const QPen& pen, std::int32_t dx, std::int32_t dy,
                          QPoint phase, const DeviceGrid& grid, qsizetype stride)
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

// Writes the stamp for a segment whose period starts at device pixel a, inside clip (which lies
// inside the image).
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

} // namespace

SegmentStamps::SegmentStamps() = default;
SegmentStamps::~SegmentStamps() = default;

StampStroke& SegmentStamps::Current(const QPen& pen, bool opaqueBackground, QRgb background,
                                    qreal ratio)
{
    if (Current_)
        return *Current_;
    StrokeKey key;
    key.PenColor = pen.color().rgb();
    key.Width = pen.width();
    key.Style = static_cast<std::int32_t>(pen.style());
    key.Cap = static_cast<std::int32_t>(pen.capStyle());
    key.Join = static_cast<std::int32_t>(pen.joinStyle());
    if (pen.style() == Qt::CustomDashLine)
        key.Dashes = pen.dashPattern();
    key.OpaqueBackground = opaqueBackground;
    key.Background = background;
    key.Ratio = ratio;
    for (const auto& s : Strokes_) {
        if (s->Key == key)
            return *(Current_ = s.get());
    }
    // A few pens are in use at a time; a run of different ones (an edited chart) starts over
    // rather than growing without end.
    if (Strokes_.size() >= 16)
        Strokes_.clear();
    Strokes_.push_back(std::make_unique<StampStroke>());
    Strokes_.back()->Key = key;
    Strokes_.back()->ChargeFixed();
    return *(Current_ = Strokes_.back().get());
}

bool SegmentStamps::Draw(QImage& image, QPoint a, QPoint b, const QPen& pen, bool opaqueBackground,
                         QRgb background, const DeviceGrid& grid, const QRect& writable)
{
    const std::int64_t dx = std::int64_t{b.x()} - a.x();
    const std::int64_t dy = std::int64_t{b.y()} - a.y();
    // Beyond this distance a stamp's coordinates could overflow; such points are far outside.
    static constexpr int Near = 1 << 24;
    if (std::llabs(dx) > MaxExtent || std::llabs(dy) > MaxExtent || std::abs(a.x()) >= Near ||
        std::abs(a.y()) >= Near) {
        return false;
    }
    const QPoint phase(grid.Phase(a.x()), grid.Phase(a.y()));
    const SegmentStamp& stamp = Stamp(Current(pen, opaqueBackground, background, grid.Ratio), pen,
                                      static_cast<std::int32_t>(dx), static_cast<std::int32_t>(dy),
                                      phase, grid, image.bytesPerLine() / 4);
    if (!stamp.Usable)
        return false;
    Apply(image, stamp,
          QPoint(static_cast<int>(grid.Base(a.x())), static_cast<int>(grid.Base(a.y()))), writable);
    return true;
}

} // namespace rv::pixelcache
