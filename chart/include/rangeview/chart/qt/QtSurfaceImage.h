#pragma once

#include <QImage>
#include <QPainter>
#include <QPalette>

#include <cstdint>

#include "rangeview/chart/Surface.h"
#include "rangeview/chart/qt/QtSurface.h"

namespace rv {

// A QImage with a surface that draws into it: the chart's canvas keeps its picture in one (made
// by QtSurface::CreateImage), and RenderChart draws a whole chart into one. The painter on the
// image is begun on the first drawing call and ended before the image is read. With a device
// ratio other than 1 the image holds that many device pixels per chart pixel, for a scaled
// screen.
class QtSurfaceImage : public TSurfaceImage {
public:
    QtSurfaceImage(std::int32_t width, std::int32_t height, const QPalette* palette,
                   qreal ratio = 1.0);
    ~QtSurfaceImage() override;

    std::int32_t Width() const override { return Width_; }
    std::int32_t Height() const override { return Height_; }
    TSurface& Surface() override { return Surface_; }
    // Onto the pixels a QtSurface offers, when they are laid out as this image's are.
    bool BeginDrawOnto(TSurface& target, TPoint origin) override;
    void EndDrawOnto() override;
    // Finishes pending drawing and returns the pixels.
    const QImage& Image();

private:
    class ImageSurface : public QtSurface {
    public:
        ImageSurface(QImage& image, const QPalette* palette);
        ~ImageSurface() override { End(); }
        void End();

    protected:
        QPainter* ActivePainter() override;
        QImage* PixelTarget() override;
        qreal DeviceRatio() const override { return Image_.devicePixelRatio(); }

    private:
        QImage& Image_;
        QPainter Painter_;
        // The image's pixels are 32-bit words, one per device pixel (fixed for its life).
        bool PlainPixels_ = false;
    };

    std::int32_t Width_;
    std::int32_t Height_;
    QImage Image_; // the pixels drawn into: its own, or during a draw onto a target, the target's
    QImage Own_; // its own meanwhile
    ImageSurface Surface_;
};

} // namespace rv
