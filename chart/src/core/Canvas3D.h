#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "rangeview/chart/Colors.h"
#include "rangeview/chart/Geometry.h"
#include "rangeview/chart/Pens.h"
#include "rangeview/chart/Surface.h"
#include "rangeview/chart/TextMeasure.h"

namespace rv {

// The chart's drawing canvas. Keeps the current pen, brush, font, text background mode and
// background colour, hands them (system colours resolved) to whichever surface is drawn on,
// and owns the off-screen image of the buffered display.
class TCanvas3D : public ITextMeasure {
public:
    TCanvas3D() = default;
    TCanvas3D(const TCanvas3D&) = delete;
    TCanvas3D& operator=(const TCanvas3D&) = delete;

    // --- surfaces ---------------------------------------------------------------------------
    // The control's own surface: drawn on when nothing else is selected, and used to measure
    // text between draws. Not owned; may be null (then text measures 0).
    TSurface* OwnSurface() const { return Own_; }
    void SetOwnSurface(TSurface* surface);
    // Where drawing goes right now.
    TSurface* Surface() const { return Current_; }

    // --- buffered display -----------------------------------------------------------------
    bool BufferedDisplay() const { return Buffered_; }
    // Turning buffering off frees the image.
    void SetBufferedDisplay(bool value);
    // True: the image (or the target the last full draw went to) no longer matches the chart.
    bool ImageDirty = true;
    // The last full draw went straight to its target: the image holds an older picture, fit
    // for nothing but to be drawn over.
    bool ImageBehind() const { return Behind_; }
    TSurfaceImage* Image() const { return Image_.get(); }
    void FreeImage();

    // Start of a full draw: with buffering, (re)creates the image at the target rectangle's size
    // (made by the target surface) and draws there; bounds (0, 0, w, h). Without it, draws
    // on the target; bounds = the target rectangle. Returns the chart bounds.
    TRect BeginDraw(TSurface& target, const TRect& targetRect);
    // End of a full draw: copies the image to the target in one transfer and clears ImageDirty
    // (buffered only), then points back at the own surface. Safe to call after a failed draw:
    // `completed` false leaves the image marked dirty and copies nothing. A draw the image sent
    // straight to the target (TSurfaceImage::BeginDrawOnto) copies nothing and leaves the image
    // behind.
    void EndDraw(bool completed = true);
    bool Drawing() const { return Target_ != nullptr || Updating_; }
    // Draws straight onto the existing image outside a full draw (a rubber band, a new
    // segment). False, and nothing selected, without an image or during a draw.
    bool BeginImageUpdate();
    void EndImageUpdate();

    // --- state ------------------------------------------------------------------------------
    // Copies a chart pen: an invisible pen becomes style psClear.
    void AssignPen(const TChartPen& pen);
    void SetPen(const TPenData& pen);
    void SetPen(TColor color, std::int32_t width = 1, TPenStyle style = TPenStyle::psSolid,
                TPenMode mode = TPenMode::pmCopy);
    const TPenData& Pen() const { return Pen_; }
    void SetBrush(TColor color, TBrushStyle style);
    const TBrushData& Brush() const { return Brush_; }
    void SetFont(const TFontData& font) override;
    const TFontData& Font() const { return Font_; }
    void SetBkMode(TBkMode mode);
    TBkMode BkMode() const { return BkMode_; }
    void SetBkColor(TColor color);
    TColor BkColor() const { return BkColor_; }
    void SetTextAlign(THorizTextAlign horiz, TVertTextAlign vert);
    // Pen black width 1 solid copy; brush white solid; font black 10 points; background white,
    // transparent.
    void ResetState();

    // --- drawing (forwarded to the current surface) ------------------------------------
    std::int32_t TextWidth(std::string_view text) override;
    std::int32_t FontHeight() override;
    void TextOut(std::int32_t x, std::int32_t y, std::string_view text);
    void MoveTo(std::int32_t x, std::int32_t y);
    void LineTo(std::int32_t x, std::int32_t y);
    // From (x0, y) up to x1, and from (x, y0) up to y1, end pixel excluded.
    void HorizLine(std::int32_t x0, std::int32_t x1, std::int32_t y);
    void VertLine(std::int32_t x, std::int32_t y0, std::int32_t y1);
    void Rectangle(const TRect& r);
    void FillRect(const TRect& r);
    // Colours may be system colours.
    void Frame3D(TRect& r, TColor topColor, TColor bottomColor, std::int32_t width);
    void ClipRectangle(const TRect& r);
    void UnClipRectangle();

    // System colours resolved by the surface in use (or the fixed scheme without one).
    TColor ColorToRGB(TColor color) const;

private:
    void Select(TSurface* surface);
    void ApplyPen();
    void ApplyBrush();
    void ApplyFont();

    TSurface* Own_ = nullptr;
    TSurface* Current_ = nullptr;
    TSurface* Target_ = nullptr;
    TPoint TargetOrigin_;
    bool Buffered_ = true;
    bool Updating_ = false;
    bool Onto_ = false; // this draw goes straight to the target
    bool Behind_ = false;
    std::unique_ptr<TSurfaceImage> Image_;

    TPenData Pen_;
    TBrushData Brush_;
    TFontData Font_;
    TBkMode BkMode_ = TBkMode::bkTransparent;
    TColor BkColor_ = clWhite;
    THorizTextAlign HAlign_ = THorizTextAlign::taLeft;
    TVertTextAlign VAlign_ = TVertTextAlign::taTop;
};

} // namespace rv
