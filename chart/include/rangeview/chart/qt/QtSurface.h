#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QPoint>
#include <QVector>

#include <memory>
#include <optional>

#include "rangeview/chart/Surface.h"

namespace rv {

// Drawing surface on a QPainter, with the pixel rules of the chart: aliased lines whose end
// pixel is left out, rectangles without their right column and bottom row, not-xor pen mode.
// ChartControl draws the chart through one onto its widget, QtSurfaceImage into an image, the
// plot tool onto the painter of its file. System colours resolve through a QPalette at the time
// they are drawn. Without a painter, drawing calls do nothing while text is still measured.
// Drawing into an image replays what QPainter drew before where that gives the same pixels:
// line segments by pen and shape (SegmentStamps), texts by the pixels under them (QtTextCache),
// fills written directly, all placed on the image's DeviceGrid.
class QtSurface : public TSurface {
public:
    // palette: not owned; null answers system colours with the fixed scheme.
    explicit QtSurface(const QPalette* palette = nullptr);
    ~QtSurface() override;
    QtSurface(const QtSurface&) = delete;
    QtSurface& operator=(const QtSurface&) = delete;

    void SetPalette(const QPalette* palette) { Palette_ = palette; }
    const QPalette* Palette() const { return Palette_; }
    // Draw with this painter (which must stay active) until Detach.
    void Attach(QPainter* painter);
    void Detach();

    // Pixels of the attached painter's device, where the chart lies, that a full draw may go
    // straight into instead of into an image of its own (ChartControl offers its part of the
    // window's backing store). Offered until Detach.
    struct Pixels {
        uchar* Bits = nullptr;
        QSize Size; // device pixels
        qsizetype BytesPerLine = 0;
        QImage::Format Format = QImage::Format_Invalid;
        qreal Ratio = 1.0;
    };
    void OfferPixels(const Pixels& pixels) { Offered_ = pixels; }
    const std::optional<Pixels>& OfferedPixels() const { return Offered_; }

    // --- TSurface ---------------------------------------------------------------------------
    void SetPen(const TPenData& pen) override;
    void SetBrush(const TBrushData& brush) override;
    void SetFont(const TFontData& font) override;
    void SetBkMode(TBkMode mode) override;
    void SetBkColor(TColor color) override;
    void SetTextAlign(THorizTextAlign horiz, TVertTextAlign vert) override;
    std::int32_t TextWidth(std::string_view text) override;
    std::int32_t FontHeight() override;
    void TextOut(std::int32_t x, std::int32_t y, std::string_view text) override;
    void MoveTo(std::int32_t x, std::int32_t y) override;
    void LineTo(std::int32_t x, std::int32_t y) override;
    void Rectangle(const TRect& r) override;
    void FillRect(const TRect& r) override;
    void SetClipRect(const TRect& r) override;
    void RemoveClip() override;
    std::unique_ptr<TSurfaceImage> CreateImage(std::int32_t width, std::int32_t height) override;
    void DrawImage(TSurfaceImage& image, std::int32_t x, std::int32_t y) override;
    TColor ColorToRGB(TColor color) const override;

    // Draws what is still queued (consecutive LineTo calls are drawn as one polyline).
    void Flush();

    // For a painter on a vector device (an SVG file): lines go down as lines through the
    // centres of their pixels instead of as the pixels the pixel rules pick, so the picture
    // stays a line drawing when scaled. Off by default.
    void SetVectorOutput(bool on);
    bool VectorOutput() const { return Vector_; }

    static QFont MakeFont(const TFontData& font);
    static QColor ToQColor(TColor rgb);

    // Everything drawn through QPainter, no replayed pixels: the plain drawing the cached one
    // must equal, kept for the tests that compare them. Process-wide; off by default.
    static void SetReferenceDrawing(bool on);
    static bool ReferenceDrawing();
    // The desktop's fonts or their rendering (hinting, grey or subpixel antialiasing) may have
    // changed: every surface makes its fonts, widths and texts afresh.
    static void ForgetRenderedText();

protected:
    // The painter to draw with, or null.
    virtual QPainter* ActivePainter() { return Painter_; }
    // The image the painter draws into, when there is one (its painter active); null otherwise.
    virtual QImage* PixelTarget() { return nullptr; }
    // Device pixels per pixel of the chart where this surface draws (the screen's scale).
    virtual qreal DeviceRatio() const;
    // Learns where QPainter puts pixels at this ratio, for the pixels written directly; false
    // when they cannot be (then everything goes through QPainter).
    bool MeasureDeviceGrid(qreal ratio);
    // Puts the whole state onto a freshly begun painter.
    void ApplyState(QPainter& p);

private:
    void ApplyPen(QPainter& p);
    // The composition of the pen's mode, after something drawn in another.
    void ApplyComposition(QPainter& p);
    QPainter* Draw();
    void FlushLine(QPainter& p);
    // A solid one-pixel line from a up to, not including, b.
    void DrawThinLine(QPainter& p, QPoint a, QPoint b);

    // The image to write pixels into directly, or null (a widget, the reference drawing).
    QImage* Direct();
    // The part of the image drawing may change (the clip rectangle, if any).
    QRect Writable(const QImage& image) const;
    // Opaque fill of r as fillRect gives it, clipped.
    void FillDirect(QImage& image, const QRect& r, const QColor& color);
    // The queued polyline segment by segment from the segment cache; others through QPainter.
    void StampLine(QPainter& p, QImage& image);
    // One segment from the segment cache; false (nothing drawn) when it cannot stand for it.
    bool StampSegment(QImage& image, QPoint a, QPoint b);
    void SelectFont(const TFontData& font);
    // Starts the text caches over after ForgetRenderedText.
    void CheckTextGeneration();

    struct Caches;
    std::unique_ptr<Caches> Caches_;

    const QPalette* Palette_;
    QPainter* Painter_ = nullptr;
    std::optional<Pixels> Offered_;

    TPenData Pen_;
    QPen Qpen_;
    bool PenVisible_ = true;
    TBrushData Brush_;
    TFontData FontData_;
    QFont Font_;
    std::optional<QFontMetrics> Metrics_;
    int FontHeight_ = 0;
    int FontAscent_ = 0;
    TBkMode BkMode_ = TBkMode::bkOpaque;
    QColor BkColor_ = Qt::white;
    THorizTextAlign HAlign_ = THorizTextAlign::taLeft;
    TVertTextAlign VAlign_ = TVertTextAlign::taTop;
    bool Clipped_ = false;
    QRect Clip_;
    bool Vector_ = false;

    QPoint Pos_;
    QVector<QPoint> Line_;
    // Pixels of a slanted thin line; kept to reuse its storage.
    QVector<QPoint> Points_;
};

} // namespace rv
