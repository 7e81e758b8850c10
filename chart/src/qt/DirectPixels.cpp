#include "DirectPixels.h"

#include <algorithm>
#include <cstring>

namespace rv::pixelcache {

bool PlainPixels(const QImage& image)
{
    const QImage::Format f = image.format();
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32_Premultiplied;
}

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
