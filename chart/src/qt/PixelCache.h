// Pixel caches of the QPainter surface: what QPainter put down once, replayed by writing pixels.
// Not part of the chart's interface.
#pragma once

#include <QColor>
#include <QImage>
#include <QPen>
#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "rangeview/chart/CacheBudget.h"

namespace rv::pixelcache {

// The image's pixels can be written as QPainter writes them: 32-bit words.
// (Writing also needs the image detached: no other image may share the painter's buffer.)
bool PlainPixels(const QImage& image);

// Where QPainter puts chart pixels on an image of some device ratio. The placement repeats
// every Period chart pixels (Step device pixels); within a period each phase has its own
// rounding, measured once from QPainter itself. A ratio of 1 maps every pixel onto itself.
struct DeviceGrid {
    static constexpr int MaxPeriod = 8;
    qreal Ratio = 1.0;
    int Period = 1;
    int Step = 1;
    // Device edge, by phase, where a fill's (or a clip rectangle's) first and end edge land
    // when that edge lies at the period's start plus the phase.
    std::array<int, MaxPeriod> FillFirst{};
    std::array<int, MaxPeriod> FillEnd{};
    std::array<int, MaxPeriod> ClipFirst{};
    std::array<int, MaxPeriod> ClipEnd{};

    // False when the ratio does not repeat within MaxPeriod pixels (then draw through QPainter).
    bool Measure(qreal ratio);
    int Phase(int x) const { return ((x % Period) + Period) % Period; }
    // The device pixel of a period's start: x less its phase.
    std::int64_t Base(std::int64_t x) const;
    // The device pixels fillRect(r) covers, and those setClipRect(r) leaves, as far as they can
    // lie in an image (r not empty).
    QRect Fill(const QRect& r) const;
    QRect Clip(const QRect& r) const;
};

// Solid fill of r (already inside the image) with an opaque colour, as fillRect would give.
void Fill(QImage& image, const QRect& r, QRgb color);

// Pixels one aliased line segment puts down, relative to its start: horizontal runs of one
// colour each. A line is the same pixels wherever it starts on the integer grid, so one drawing
// per pen and (dx, dy) serves every later segment of that shape (on a scaled image, of that
// shape and phase on the device grid).
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

class SegmentStamps {
public:
    // Segments longer than this on either axis are drawn directly (rare: far-off values).
    static constexpr std::int32_t MaxExtent = 1024;

    // Short segments, the bulk of a waveform, are found by index rather than by hashing.
    static constexpr std::int32_t SmallExtent = 24;
    using Stroke = StampStroke;
    // Stays valid until the next Select with another key.
    Stroke& Select(const StrokeKey& key);
    // The stamp for a segment of (dx, dy) with this pen starting at `phase` on the grid,
    // drawn on first use, with its offsets made for rows `stride` pixels apart. Its pixels are
    // device pixels from the device start of the segment's period. Valid until the next call.
    const SegmentStamp& Get(Stroke& stroke, const QPen& pen, std::int32_t dx, std::int32_t dy,
                            QPoint phase, const DeviceGrid& grid, qsizetype stride);

private:
    std::vector<std::unique_ptr<Stroke>> Strokes_;
};

// Writes the stamp for a segment whose period starts at device pixel a, inside clip (which lies
// inside the image).
void Apply(QImage& image, const SegmentStamp& stamp, QPoint a, const QRect& clip);

// Copies r of the image into out (r inside the image).
void Read(const QImage& image, const QRect& r, std::vector<QRgb>& out);
// True when r of the image holds exactly these pixels.
bool Same(const QImage& image, const QRect& r, const std::vector<QRgb>& pixels);
// Writes pixels (as Read gave them) into r.
void Write(QImage& image, const QRect& r, const std::vector<QRgb>& pixels);

} // namespace rv::pixelcache
