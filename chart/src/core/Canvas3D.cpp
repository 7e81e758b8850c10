#include "Canvas3D.h"

#include "rangeview/common/Numeric.h"

namespace rv {

// --- TCanvas3D -----------------------------------------------------------------------------

void TCanvas3D::SetOwnSurface(TSurface* surface) {
    const bool wasCurrent = current_ == own_ || current_ == nullptr;
    own_ = surface;
    if (wasCurrent) Select(own_);
}

void TCanvas3D::SetBufferedDisplay(bool value) {
    if (buffered_ == value) return;
    buffered_ = value;
    if (!buffered_ && !Drawing()) FreeImage();
    ImageDirty = true;
}

void TCanvas3D::FreeImage() {
    if (image_ && current_ == &image_->Surface()) Select(own_);
    image_.reset();
}

TRect TCanvas3D::BeginDraw(TSurface& target, const TRect& targetRect) {
    target_ = &target;
    targetOrigin_ = TPoint{targetRect.Left, targetRect.Top};
    const std::int32_t w = targetRect.Width();
    const std::int32_t h = targetRect.Height();
    if (buffered_ && w > 0 && h > 0) {
        if (image_ && (image_->Width() != w || image_->Height() != h)) FreeImage();
        if (!image_) image_ = target.CreateImage(w, h);
        if (image_) {
            Select(&image_->Surface());
            return TRect{0, 0, w, h};
        }
    }
    Select(&target);
    return targetRect;
}

void TCanvas3D::EndDraw(bool completed) {
    if (!target_) return;
    TSurface& target = *target_;
    const bool toImage = image_ && current_ == &image_->Surface();
    if (current_) current_->RemoveClip();
    target_ = nullptr;
    Select(own_);
    if (toImage && completed) {
        target.DrawImage(*image_, targetOrigin_.X, targetOrigin_.Y);
        ImageDirty = false;
    }
    if (!buffered_) FreeImage();
}

bool TCanvas3D::BeginImageUpdate() {
    if (!image_ || Drawing()) return false;
    updating_ = true;
    Select(&image_->Surface());
    return true;
}

void TCanvas3D::EndImageUpdate() {
    if (!updating_) return;
    if (current_) current_->RemoveClip();
    updating_ = false;
    Select(own_);
}

// --- state ---------------------------------------------------------------------------------

void TCanvas3D::Select(TSurface* surface) {
    current_ = surface;
    if (!current_) return;
    ApplyPen();
    ApplyBrush();
    ApplyFont();
    current_->SetBkMode(bkMode_);
    current_->SetBkColor(ColorToRGB(bkColor_));
    current_->SetTextAlign(hAlign_, vAlign_);
}

TColor TCanvas3D::ColorToRGB(TColor color) const {
    return current_ ? current_->ColorToRGB(color) : FixedColorToRGB(color);
}

void TCanvas3D::ApplyPen() {
    if (!current_) return;
    TPenData resolved = pen_;
    resolved.Color = ColorToRGB(pen_.Color);
    current_->SetPen(resolved);
}

void TCanvas3D::ApplyBrush() {
    if (!current_) return;
    current_->SetBrush(TBrushData{ColorToRGB(brush_.Color), brush_.Style});
}

void TCanvas3D::ApplyFont() {
    if (!current_) return;
    if (!IsSystemColor(font_.Color)) {
        current_->SetFont(font_);
        return;
    }
    TFontData resolved = font_;
    resolved.Color = ColorToRGB(font_.Color);
    current_->SetFont(resolved);
}

void TCanvas3D::AssignPen(const TChartPen& pen) {
    TPenData data = pen.Data();
    if (!data.Visible) data.Style = TPenStyle::psClear;
    SetPen(data);
}

void TCanvas3D::SetPen(const TPenData& pen) {
    if (pen == pen_) return;
    pen_ = pen;
    ApplyPen();
}

void TCanvas3D::SetPen(TColor color, std::int32_t width, TPenStyle style, TPenMode mode) {
    TPenData data;
    data.Color = color;
    data.Width = width;
    data.Style = style;
    data.Mode = mode;
    SetPen(data);
}

void TCanvas3D::SetBrush(TColor color, TBrushStyle style) {
    const TBrushData data{color, style};
    if (data == brush_) return;
    brush_ = data;
    ApplyBrush();
}

void TCanvas3D::SetFont(const TFontData& font) {
    if (font == font_) return;
    font_ = font;
    ApplyFont();
}

void TCanvas3D::SetBkMode(TBkMode mode) {
    if (mode == bkMode_) return;
    bkMode_ = mode;
    if (current_) current_->SetBkMode(mode);
}

void TCanvas3D::SetBkColor(TColor color) {
    if (color == bkColor_) return;
    bkColor_ = color;
    if (current_) current_->SetBkColor(ColorToRGB(color));
}

void TCanvas3D::SetTextAlign(THorizTextAlign horiz, TVertTextAlign vert) {
    if (horiz == hAlign_ && vert == vAlign_) return;
    hAlign_ = horiz;
    vAlign_ = vert;
    if (current_) current_->SetTextAlign(horiz, vert);
}

void TCanvas3D::ResetState() {
    SetPen(clBlack, 1, TPenStyle::psSolid, TPenMode::pmCopy);
    SetBrush(clWhite, TBrushStyle::bsSolid);
    TFontData font = font_;
    font.Color = clBlack;
    font.Height = -MulDiv(10, ScreenPixelsPerInch, 72);
    SetFont(font);
    SetBkColor(clWhite);
    SetBkMode(TBkMode::bkTransparent);
}

// --- drawing -------------------------------------------------------------------------------

std::int32_t TCanvas3D::TextWidth(std::string_view text) {
    return current_ ? current_->TextWidth(text) : 0;
}

std::int32_t TCanvas3D::FontHeight() {
    return current_ ? current_->FontHeight() : 0;
}

void TCanvas3D::TextOut(std::int32_t x, std::int32_t y, std::string_view text) {
    if (current_) current_->TextOut(x, y, text);
}

void TCanvas3D::MoveTo(std::int32_t x, std::int32_t y) {
    if (current_) current_->MoveTo(x, y);
}

void TCanvas3D::LineTo(std::int32_t x, std::int32_t y) {
    if (current_) current_->LineTo(x, y);
}

void TCanvas3D::HorizLine(std::int32_t x0, std::int32_t x1, std::int32_t y) {
    if (!current_) return;
    current_->MoveTo(x0, y);
    current_->LineTo(x1, y);
}

void TCanvas3D::VertLine(std::int32_t x, std::int32_t y0, std::int32_t y1) {
    if (!current_) return;
    current_->MoveTo(x, y0);
    current_->LineTo(x, y1);
}

void TCanvas3D::Rectangle(const TRect& r) {
    if (current_) current_->Rectangle(r);
}

void TCanvas3D::FillRect(const TRect& r) {
    if (current_) current_->FillRect(r);
}

void TCanvas3D::Frame3D(TRect& r, TColor topColor, TColor bottomColor, std::int32_t width) {
    if (!current_) return;
    current_->Frame3D(r, ColorToRGB(topColor), ColorToRGB(bottomColor), width);
    // The surface changed its pen behind our back.
    ApplyPen();
}

void TCanvas3D::ClipRectangle(const TRect& r) {
    if (current_) current_->SetClipRect(r);
}

void TCanvas3D::UnClipRectangle() {
    if (current_) current_->RemoveClip();
}

} // namespace rv
