#include "Canvas3D.h"

#include "rangeview/common/Numeric.h"

namespace rv {

// --- TCanvas3D -----------------------------------------------------------------------------

void TCanvas3D::SetOwnSurface(TSurface* surface)
{
    const bool wasCurrent = Current_ == Own_ || Current_ == nullptr;
    Own_ = surface;
    if (wasCurrent)
        Select(Own_);
}

void TCanvas3D::SetBufferedDisplay(bool value)
{
    if (Buffered_ == value)
        return;
    Buffered_ = value;
    if (!Buffered_ && !Drawing())
        FreeImage();
    ImageDirty = true;
}

void TCanvas3D::FreeImage()
{
    if (Image_ && Current_ == &Image_->Surface())
        Select(Own_);
    Image_.reset();
    Behind_ = false;
}

TRect TCanvas3D::BeginDraw(TSurface& target, const TRect& targetRect)
{
    Target_ = &target;
    TargetOrigin_ = TPoint{targetRect.Left, targetRect.Top};
    const std::int32_t w = targetRect.Width();
    const std::int32_t h = targetRect.Height();
    if (Buffered_ && w > 0 && h > 0) {
        if (Image_ && (Image_->Width() != w || Image_->Height() != h))
            FreeImage();
        if (!Image_)
            Image_ = target.CreateImage(w, h);
        if (Image_) {
            Onto_ = Image_->BeginDrawOnto(target, TargetOrigin_);
            Select(&Image_->Surface());
            return TRect{0, 0, w, h};
        }
    }
    Select(&target);
    return targetRect;
}

void TCanvas3D::EndDraw(bool completed)
{
    if (!Target_)
        return;
    TSurface& target = *Target_;
    const bool toImage = Image_ && Current_ == &Image_->Surface();
    if (Current_)
        Current_->RemoveClip();
    Target_ = nullptr;
    Select(Own_);
    if (Onto_) {
        Onto_ = false;
        Image_->EndDrawOnto();
        if (completed) {
            ImageDirty = false;
            Behind_ = true;
        }
    } else if (toImage && completed) {
        target.DrawImage(*Image_, TargetOrigin_.X, TargetOrigin_.Y);
        ImageDirty = false;
        Behind_ = false;
    }
    if (!Buffered_)
        FreeImage();
}

bool TCanvas3D::BeginImageUpdate()
{
    if (!Image_ || Drawing())
        return false;
    Updating_ = true;
    Select(&Image_->Surface());
    return true;
}

void TCanvas3D::EndImageUpdate()
{
    if (!Updating_)
        return;
    if (Current_)
        Current_->RemoveClip();
    Updating_ = false;
    Select(Own_);
}

// --- state ---------------------------------------------------------------------------------

void TCanvas3D::Select(TSurface* surface)
{
    Current_ = surface;
    if (!Current_)
        return;
    ApplyPen();
    ApplyBrush();
    ApplyFont();
    Current_->SetBkMode(BkMode_);
    Current_->SetBkColor(ColorToRGB(BkColor_));
    Current_->SetTextAlign(HAlign_, VAlign_);
}

TColor TCanvas3D::ColorToRGB(TColor color) const
{
    return Current_ ? Current_->ColorToRGB(color) : FixedColorToRGB(color);
}

void TCanvas3D::ApplyPen()
{
    if (!Current_)
        return;
    TPenData resolved = Pen_;
    resolved.Color = ColorToRGB(Pen_.Color);
    Current_->SetPen(resolved);
}

void TCanvas3D::ApplyBrush()
{
    if (!Current_)
        return;
    Current_->SetBrush(TBrushData{ColorToRGB(Brush_.Color), Brush_.Style});
}

void TCanvas3D::ApplyFont()
{
    if (!Current_)
        return;
    if (!IsSystemColor(Font_.Color)) {
        Current_->SetFont(Font_);
        return;
    }
    TFontData resolved = Font_;
    resolved.Color = ColorToRGB(Font_.Color);
    Current_->SetFont(resolved);
}

void TCanvas3D::AssignPen(const TChartPen& pen)
{
    TPenData data = pen.Data();
    if (!data.Visible)
        data.Style = TPenStyle::psClear;
    SetPen(data);
}

void TCanvas3D::SetPen(const TPenData& pen)
{
    if (pen == Pen_)
        return;
    Pen_ = pen;
    ApplyPen();
}

void TCanvas3D::SetPen(TColor color, std::int32_t width, TPenStyle style, TPenMode mode)
{
    TPenData data;
    data.Color = color;
    data.Width = width;
    data.Style = style;
    data.Mode = mode;
    SetPen(data);
}

void TCanvas3D::SetBrush(TColor color, TBrushStyle style)
{
    const TBrushData data{color, style};
    if (data == Brush_)
        return;
    Brush_ = data;
    ApplyBrush();
}

void TCanvas3D::SetFont(const TFontData& font)
{
    if (font == Font_)
        return;
    Font_ = font;
    ApplyFont();
}

void TCanvas3D::SetBkMode(TBkMode mode)
{
    if (mode == BkMode_)
        return;
    BkMode_ = mode;
    if (Current_)
        Current_->SetBkMode(mode);
}

void TCanvas3D::SetBkColor(TColor color)
{
    if (color == BkColor_)
        return;
    BkColor_ = color;
    if (Current_)
        Current_->SetBkColor(ColorToRGB(color));
}

void TCanvas3D::SetTextAlign(THorizTextAlign horiz, TVertTextAlign vert)
{
    if (horiz == HAlign_ && vert == VAlign_)
        return;
    HAlign_ = horiz;
    VAlign_ = vert;
    if (Current_)
        Current_->SetTextAlign(horiz, vert);
}

void TCanvas3D::ResetState()
{
    SetPen(clBlack, 1, TPenStyle::psSolid, TPenMode::pmCopy);
    SetBrush(clWhite, TBrushStyle::bsSolid);
    TFontData font = Font_;
    font.Color = clBlack;
    font.Height = -MulDiv(10, ScreenPixelsPerInch, 72);
    SetFont(font);
    SetBkColor(clWhite);
    SetBkMode(TBkMode::bkTransparent);
}

// --- drawing -------------------------------------------------------------------------------

std::int32_t TCanvas3D::TextWidth(std::string_view text)
{
    return Current_ ? Current_->TextWidth(text) : 0;
}

std::int32_t TCanvas3D::FontHeight()
{
    return Current_ ? Current_->FontHeight() : 0;
}

void TCanvas3D::TextOut(std::int32_t x, std::int32_t y, std::string_view text)
{
    if (Current_)
        Current_->TextOut(x, y, text);
}

void TCanvas3D::MoveTo(std::int32_t x, std::int32_t y)
{
    if (Current_)
        Current_->MoveTo(x, y);
}

void TCanvas3D::LineTo(std::int32_t x, std::int32_t y)
{
    if (Current_)
        Current_->LineTo(x, y);
}

void TCanvas3D::HorizLine(std::int32_t x0, std::int32_t x1, std::int32_t y)
{
    if (!Current_)
        return;
    Current_->MoveTo(x0, y);
    Current_->LineTo(x1, y);
}

void TCanvas3D::VertLine(std::int32_t x, std::int32_t y0, std::int32_t y1)
{
    if (!Current_)
        return;
    Current_->MoveTo(x, y0);
    Current_->LineTo(x, y1);
}

void TCanvas3D::Rectangle(const TRect& r)
{
    if (Current_)
        Current_->Rectangle(r);
}

void TCanvas3D::FillRect(const TRect& r)
{
    if (Current_)
        Current_->FillRect(r);
}

void TCanvas3D::Frame3D(TRect& r, TColor topColor, TColor bottomColor, std::int32_t width)
{
    if (!Current_)
        return;
    Current_->Frame3D(r, ColorToRGB(topColor), ColorToRGB(bottomColor), width);
    // The surface changed its pen behind our back.
    ApplyPen();
}

void TCanvas3D::ClipRectangle(const TRect& r)
{
    if (Current_)
        Current_->SetClipRect(r);
}

void TCanvas3D::UnClipRectangle()
{
    if (Current_)
        Current_->RemoveClip();
}

} // namespace rv
