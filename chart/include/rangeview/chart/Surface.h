#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "rangeview/chart/Colors.h"
#include "rangeview/chart/Geometry.h"
#include "rangeview/chart/Pens.h"
#include "rangeview/chart/TextMeasure.h"

namespace rv {

// Text background: transparent leaves the pixels behind text and pen gaps alone, opaque fills
// them with the background colour.
enum class TBkMode : std::uint8_t { bkTransparent, bkOpaque };

// Which point of the text a TextOut position names.
enum class THorizTextAlign : std::uint8_t { taLeft, taCenter, taRight };
enum class TVertTextAlign : std::uint8_t { taTop, taBottom };

class TSurfaceImage;

// A platform drawing surface. Coordinates are pixels; rectangles exclude their right column and
// bottom row; LineTo leaves out the end pixel and moves the pen position there.
// Colours handed to a surface are plain RGB; ColorToRGB turns system colours into RGB first.
class TSurface : public ITextMeasure {
public:
    ~TSurface() override = default;

    // --- state ---------------------------------------------------------------------------
    // Pen style psClear draws nothing; SmallDots with width 1 gives every other pixel.
    virtual void SetPen(const TPenData& pen) = 0;
    virtual void SetBrush(const TBrushData& brush) = 0;
    // Also selects the text colour (the font's).
    void SetFont(const TFontData& font) override = 0;
    virtual void SetBkMode(TBkMode mode) = 0;
    virtual void SetBkColor(TColor color) = 0;
    virtual void SetTextAlign(THorizTextAlign horiz, TVertTextAlign vert) = 0;

    // --- text ----------------------------------------------------------------------------
    std::int32_t TextWidth(std::string_view text) override = 0;
    // Height of "W" in the current font.
    std::int32_t FontHeight() override = 0;
    // One line of UTF-8 text at (x, y) as the text alignment says, in the font colour.
    virtual void TextOut(std::int32_t x, std::int32_t y, std::string_view text) = 0;

    // --- lines and areas -------------------------------------------------------------------
    virtual void MoveTo(std::int32_t x, std::int32_t y) = 0;
    virtual void LineTo(std::int32_t x, std::int32_t y) = 0;
    // Outline with the pen, inside filled with the brush.
    virtual void Rectangle(const TRect& r) = 0;
    // Fills with the brush, no outline.
    virtual void FillRect(const TRect& r) = 0;
    // Nested one-pixel rings, `width` of them: left and top edges in `topColor`, right and bottom
    // edges in `bottomColor` (both RGB). Shrinks r by width on every side. Leaves the pen changed.
    virtual void Frame3D(TRect& r, TColor topColor, TColor bottomColor, std::int32_t width);

    // --- clipping --------------------------------------------------------------------------
    virtual void SetClipRect(const TRect& r) = 0;
    virtual void RemoveClip() = 0;

    // --- off-screen images -----------------------------------------------------------------
    // An image of the given size with its own surface; kept by the caller.
    virtual std::unique_ptr<TSurfaceImage> CreateImage(std::int32_t width, std::int32_t height) = 0;
    // Block transfer of a whole image (one made by this kind of surface) to (x, y).
    virtual void DrawImage(TSurfaceImage& image, std::int32_t x, std::int32_t y) = 0;

    // System colours (top byte 0xFF) become RGB; everything else passes unchanged. The base
    // answers with a fixed light desktop scheme; a platform surface asks its palette.
    virtual TColor ColorToRGB(TColor color) const;
};

// Off-screen bitmap with a surface that draws into it.
class TSurfaceImage {
public:
    virtual ~TSurfaceImage() = default;
    virtual std::int32_t Width() const = 0;
    virtual std::int32_t Height() const = 0;
    virtual TSurface& Surface() = 0;
    // A full draw onto `target` at `origin` may draw straight into the target's own pixels
    // instead (a widget's backing store), sparing the copy: true when this image now draws
    // there, until EndDrawOnto, after which it holds its own pixels again, unchanged.
    virtual bool BeginDrawOnto(TSurface& /*target*/, TPoint /*origin*/) { return false; }
    virtual void EndDrawOnto() { }
};

// The fixed scheme behind TSurface::ColorToRGB.
TColor DefaultSystemColor(TColor systemColor);

// Any colour to RGB with the fixed scheme for system colours (what TSurface::ColorToRGB answers).
inline TColor FixedColorToRGB(TColor color)
{
    return IsSystemColor(color) ? DefaultSystemColor(color) : (color & 0x00FFFFFFu);
}

} // namespace rv
