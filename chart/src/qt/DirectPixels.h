#pragma once

#include <QImage>
#include <QRect>

#include <vector>

namespace rv::pixelcache {

// Pixels of an image read and written directly, for QtSurface's fills and its segment and text
// caches: what QPainter would put down, at the cost of a copy. Callers keep to the image (every
// rectangle lies inside it) and write only into a detached image, so that the buffer is the one
// its painter draws into and no other image shares it.

// The image's pixels can be written as QPainter writes them: 32-bit words.
bool PlainPixels(const QImage& image);

inline QRgb* Row(QImage& image, int y)
{
    // Callers checked the image is detached: the buffer is the image's own, the one its painter
    // draws into.
    return reinterpret_cast<QRgb*>(const_cast<uchar*>(image.constBits()) +
                                   static_cast<qsizetype>(y) * image.bytesPerLine());
}
inline const QRgb* Row(const QImage& image, int y)
{
    return reinterpret_cast<const QRgb*>(image.constBits() +
                                         static_cast<qsizetype>(y) * image.bytesPerLine());
}

// Solid fill of r with an opaque colour, as fillRect would give.
void Fill(QImage& image, const QRect& r, QRgb color);
// Copies r of the image into out.
void Read(const QImage& image, const QRect& r, std::vector<QRgb>& out);
// True when r of the image holds exactly these pixels.
bool Same(const QImage& image, const QRect& r, const std::vector<QRgb>& pixels);
// Writes pixels (as Read gave them) into r.
void Write(QImage& image, const QRect& r, const std::vector<QRgb>& pixels);

} // namespace rv::pixelcache
