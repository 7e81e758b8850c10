#include "rangeview/chart/Surface.h"

namespace rv {

// --- TSurface defaults ----------------------------------------------------------------------

TColor DefaultSystemColor(TColor systemColor)
{
    // A light desktop scheme; only used where no platform palette answers.
    switch (systemColor & 0xFFu) {
    case 5:
        return clWhite; // window
    case 6:
        return clBlack; // window frame
    case 8:
        return clBlack; // window text
    case 13:
        return RGB(0x00, 0x78, 0xD7); // highlight
    case 14:
        return clWhite; // highlight text
    case 15:
        return RGB(0xF0, 0xF0, 0xF0); // button face
    case 16:
        return RGB(0xA0, 0xA0, 0xA0); // button shadow
    case 17:
        return RGB(0x6D, 0x6D, 0x6D); // gray text
    case 18:
        return clBlack; // button text
    case 20:
        return clWhite; // button highlight
    case 21:
        return RGB(0x69, 0x69, 0x69); // 3-D dark shadow
    case 22:
        return RGB(0xE3, 0xE3, 0xE3); // 3-D light
    default:
        return RGB(0xC8, 0xC8, 0xC8);
    }
}

TColor TSurface::ColorToRGB(TColor color) const
{
    return FixedColorToRGB(color);
}

void TSurface::Frame3D(TRect& r, TColor topColor, TColor bottomColor, std::int32_t width)
{
    TPenData pen;
    pen.Width = 1;
    // Work on the last column and row inside the rectangle.
    TRect ring{r.Left, r.Top, r.Right - 1, r.Bottom - 1};
    for (std::int32_t i = 0; i < width; ++i) {
        pen.Color = topColor;
        SetPen(pen);
        MoveTo(ring.Left, ring.Bottom);
        LineTo(ring.Left, ring.Top);
        LineTo(ring.Right, ring.Top);
        pen.Color = bottomColor;
        SetPen(pen);
        MoveTo(ring.Right, ring.Top);
        LineTo(ring.Right, ring.Bottom);
        LineTo(ring.Left - 1, ring.Bottom);
        ring.Left += 1;
        ring.Top += 1;
        ring.Right -= 1;
        ring.Bottom -= 1;
    }
    if (width > 0) {
        r.Left += width;
        r.Top += width;
        r.Right -= width;
        r.Bottom -= width;
    }
}

} // namespace rv
