// Pixel caches of the QPainter surface: what QPainter put down once, replayed by writing pixels.
// Not part of the chart's interface.
#pragma once

#include <QColor>
#include <QImage>
#include <QPen>
#include <QRect>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace rv::pixelcache {

// The image's pixels can be written as QPainter writes them: 32-bit words, one per device pixel.
// (Writing also needs the image detached: no other image may share the painter's buffer.)
bool PlainPixels(const QImage& image);

// Solid fill of r (already inside the image) with an opaque colour, as fillRect would give.
void Fill(QImage& image, const QRect& r, QRgb color);

// Pixels one aliased line segment puts down, relative to its start: horizontal runs of one
// colour each. A line is the same pixels wherever it starts on the integer grid, so one drawing
// per pen and (dx, dy) serves every later segment of that shape.
struct SegmentStamp {
    struct Run {
        std::int32_t Dy;
        std::int32_t X0;
        std::int32_t Length;
        QRgb Color;
    };
    std::vector<Run> Runs;
    // The segment's pixels, relative to its start.
    QRect Bounds;
    // False when QPainter blended some pixel (the stamp cannot stand for it): draw directly.
    bool Usable = false;
    // All runs have one colour; then the pixels are also kept as offsets for one row length.
    bool OneColor = false;
    mutable qsizetype OffsetStride = 0;
    mutable std::vector<qsizetype> Offsets;
};

// Everything besides (dx, dy) that decides a segment's pixels.
struct StrokeKey {
    QRgb PenColor = 0;
    std::int32_t Width = 1;
    std::int32_t Style = 0;
    std::int32_t Cap = 0;
    std::int32_t Join = 0;
    bool CustomDash = false;
    bool OpaqueBackground = false;
    QRgb Background = 0;
    friend bool operator==(const StrokeKey&, const StrokeKey&) = default;
};

// The stamps of one pen and background.
struct StampStroke {
    StrokeKey Key;
    std::unordered_map<std::uint64_t, SegmentStamp> Stamps;
    std::vector<const SegmentStamp*> Small;
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
    // The stamp for a segment of (dx, dy) with this pen, drawn on first use.
    const SegmentStamp& Get(Stroke& stroke, const QPen& pen, std::int32_t dx, std::int32_t dy);

private:
    void Remember(Stroke& stroke, std::size_t slot, const SegmentStamp& stamp);
    std::vector<std::unique_ptr<Stroke>> Strokes_;
    std::size_t Stamps_ = 0;
};

// Writes the stamp for a segment starting at a, inside clip (which lies inside the image).
void Apply(QImage& image, const SegmentStamp& stamp, QPoint a, const QRect& clip);

// A text as drawn once at some position: the block of pixels it can touch, what was under it
// and what it became. Drawing the same text where the same pixels lie under it gives the same
// block again, whatever the text rendering (grey or subpixel antialiasing), so the block is
// copied instead.
struct TextBlock {
    // Relative to the text's top-left corner.
    QRect Area;
    bool Usable = false;
    bool Filled = false;
    std::vector<QRgb> Before;
    std::vector<QRgb> After;
    std::uint64_t LastUse = 0;
};

// Copies r of the image into out (r inside the image).
void Read(const QImage& image, const QRect& r, std::vector<QRgb>& out);
// True when r of the image holds exactly these pixels.
bool Same(const QImage& image, const QRect& r, const std::vector<QRgb>& pixels);
// Writes pixels (as Read gave them) into r.
void Write(QImage& image, const QRect& r, const std::vector<QRgb>& pixels);

} // namespace rv::pixelcache
