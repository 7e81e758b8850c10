#include "rangeview/chart/qt/QtSurfaceImage.h"

#include <algorithm>
#include <cmath>

#include "DirectPixels.h"

namespace rv {

// --- the surface's images -------------------------------------------------------------------

std::unique_ptr<TSurfaceImage> QtSurface::CreateImage(std::int32_t width, std::int32_t height)
{
    return std::make_unique<QtSurfaceImage>(width, height, Palette_, DeviceRatio());
}

void QtSurface::DrawImage(TSurfaceImage& image, std::int32_t x, std::int32_t y)
{
    auto* qt = dynamic_cast<QtSurfaceImage*>(&image);
    QPainter* p = Draw();
    if (!qt || !p)
        return;
    const QImage& pixels = qt->Image();
    p->setCompositionMode(QPainter::CompositionMode_Source);
    const qreal ratio = pixels.devicePixelRatio();
    const qreal dx = x * ratio;
    const qreal dy = y * ratio;
    if (ratio != 1.0 && p->device() && p->device()->devicePixelRatioF() == ratio &&
        dx == std::floor(dx) && dy == std::floor(dy)) {
        // Scaled, the image would be sampled pixel by pixel; on whole device pixels of its own
        // ratio it is the same copy undone of the scale.
        const QImage flat(pixels.constBits(), pixels.width(), pixels.height(),
                          pixels.bytesPerLine(), pixels.format());
        p->save();
        p->scale(1 / ratio, 1 / ratio);
        p->drawImage(QPointF(dx, dy), flat);
        p->restore();
    } else {
        p->drawImage(QPoint(x, y), pixels);
    }
    ApplyComposition(*p);
}

// --- the image -------------------------------------------------------------------------------

namespace {
QImage DeviceImage(std::int32_t width, std::int32_t height, qreal ratio)
{
    if (!(ratio > 0))
        ratio = 1.0;
    QImage image(static_cast<int>(std::ceil(std::max(width, 1) * ratio)),
                 static_cast<int>(std::ceil(std::max(height, 1) * ratio)), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    return image;
}
} // namespace

QtSurfaceImage::QtSurfaceImage(std::int32_t width, std::int32_t height, const QPalette* palette,
                               qreal ratio)
    : Width_(std::max(width, 1)), Height_(std::max(height, 1)),
      Image_(DeviceImage(width, height, ratio)), Surface_(Image_, palette)
{
}

QtSurfaceImage::~QtSurfaceImage() = default;

bool QtSurfaceImage::BeginDrawOnto(TSurface& target, TPoint origin)
{
    const auto* qt = dynamic_cast<const QtSurface*>(&target);
    if (!qt || !qt->OfferedPixels() || origin.X != 0 || origin.Y != 0 || !Own_.isNull())
        return false;
    const QtSurface::Pixels& to = *qt->OfferedPixels();
    // The same pixels in the same places, so the same picture comes out: every pixel the chart
    // draws is opaque, which premultiplied ARGB holds exactly as RGB does (a window's backing
    // store is often the one).
    const auto plain = [](QImage::Format f) {
        return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32_Premultiplied;
    };
    if (to.Size != Image_.size() || !plain(to.Format) || !plain(Image_.format()) ||
        to.Ratio != Image_.devicePixelRatio()) {
        return false;
    }
    Surface_.End();
    Own_ = std::move(Image_);
    // The only reference to those pixels, and a writable one: writing never makes a copy.
    Image_ = QImage(to.Bits, to.Size.width(), to.Size.height(), to.BytesPerLine, to.Format);
    Image_.setDevicePixelRatio(to.Ratio);
    return true;
}

void QtSurfaceImage::EndDrawOnto()
{
    if (Own_.isNull())
        return;
    Surface_.End();
    Image_ = std::move(Own_);
    Own_ = QImage();
}

const QImage& QtSurfaceImage::Image()
{
    Surface_.End();
    return Image_;
}

void QtSurfaceImage::ImageSurface::End()
{
    // A queued polyline still has to reach the pixels.
    Flush();
    if (Painter_.isActive())
        Painter_.end();
}

QtSurfaceImage::ImageSurface::ImageSurface(QImage& image, const QPalette* palette)
    : QtSurface(palette), Image_(image),
      PlainPixels_(pixelcache::PlainPixels(image) && MeasureDeviceGrid(image.devicePixelRatio()))
{
}

QImage* QtSurfaceImage::ImageSurface::PixelTarget()
{
    if (!PlainPixels_)
        return nullptr;
    if (!Painter_.isActive())
        ActivePainter();
    return &Image_;
}

QPainter* QtSurfaceImage::ImageSurface::ActivePainter()
{
    if (!Painter_.isActive()) {
        Painter_.begin(&Image_);
        ApplyState(Painter_);
    }
    return &Painter_;
}

} // namespace rv
