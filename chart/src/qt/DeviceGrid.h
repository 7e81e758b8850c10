#pragma once

#include <QRect>
#include <QtGlobal>

#include <array>
#include <cstdint>

namespace rv::pixelcache {

// Where QPainter puts chart pixels on an image of some device ratio (a scaled screen), so that
// QtSurface can write pixels, replay segment stamps and text blocks exactly where QPainter would
// have drawn them. The placement repeats every Period chart pixels (Step device pixels); within
// a period each phase has its own rounding, measured once from QPainter itself. A ratio of 1
// maps every pixel onto itself.
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

} // namespace rv::pixelcache
