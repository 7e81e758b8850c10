#include "rangeview/chart/RecordingSurface.h"

namespace rv {

std::int32_t Utf8Length(std::string_view text)
{
    std::int32_t n = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0u) != 0x80u)
            ++n;
    }
    return n;
}

class TRecordingSurface::Image : public TSurfaceImage {
public:
    Image(std::shared_ptr<Log> log, std::int32_t layer, std::int32_t w, std::int32_t h,
          std::int32_t charWidth, std::int32_t fontHeight)
        : Surface_(std::move(log), layer, charWidth, fontHeight), Width_(w), Height_(h)
    {
    }
    std::int32_t Width() const override { return Width_; }
    std::int32_t Height() const override { return Height_; }
    TSurface& Surface() override { return Surface_; }
    std::int32_t Layer() const { return Surface_.Layer(); }

private:
    TRecordingSurface Surface_;
    std::int32_t Width_;
    std::int32_t Height_;
};

TRecordingSurface::TRecordingSurface(std::int32_t charWidth, std::int32_t fontHeight)
    : TRecordingSurface(std::make_shared<Log>(), 0, charWidth, fontHeight)
{
}

TRecordingSurface::TRecordingSurface(std::shared_ptr<Log> log, std::int32_t layer,
                                     std::int32_t charWidth, std::int32_t fontHeight)
    : CharWidth(charWidth), FixedFontHeight(fontHeight), Log_(std::move(log)), Layer_(layer)
{
}

TRecordingSurface::~TRecordingSurface() = default;

TSurfaceRecord& TRecordingSurface::Add(TSurfaceOp op, bool stateChange)
{
    if (stateChange && !RecordStateChanges)
        return Discarded_;
    TSurfaceRecord& r = Log_->Records.emplace_back();
    r.Op = op;
    r.Layer = Layer_;
    r.Pen = Pen_;
    r.Brush = Brush_;
    r.Font = Font_;
    r.BkMode = BkMode_;
    r.BkColor = BkColor_;
    r.HAlign = HAlign_;
    r.VAlign = VAlign_;
    r.Clipped = Clipped_;
    r.Clip = Clip_;
    return r;
}

std::vector<TSurfaceRecord> TRecordingSurface::Calls(TSurfaceOp op) const
{
    std::vector<TSurfaceRecord> out;
    for (const auto& r : Log_->Records) {
        if (r.Op == op)
            out.push_back(r);
    }
    return out;
}

std::vector<TRecordedSegment> TRecordingSurface::Segments() const
{
    std::vector<TRecordedSegment> out;
    // Pen positions per layer; layers are few.
    std::vector<TPoint> pos;
    for (const auto& r : Log_->Records) {
        if (r.Op != TSurfaceOp::MoveTo && r.Op != TSurfaceOp::LineTo)
            continue;
        const auto layer = static_cast<std::size_t>(r.Layer);
        if (pos.size() <= layer)
            pos.resize(layer + 1);
        if (r.Op == TSurfaceOp::LineTo) {
            out.push_back(TRecordedSegment{r.Layer, pos[layer].X, pos[layer].Y, r.X, r.Y, r.Pen,
                                           r.Clipped, r.Clip});
        }
        pos[layer] = TPoint{r.X, r.Y};
    }
    return out;
}

void TRecordingSurface::SetPen(const TPenData& pen)
{
    Pen_ = pen;
    Add(TSurfaceOp::SetPen, true);
}

void TRecordingSurface::SetBrush(const TBrushData& brush)
{
    Brush_ = brush;
    Add(TSurfaceOp::SetBrush, true);
}

void TRecordingSurface::SetFont(const TFontData& font)
{
    Font_ = font;
    Add(TSurfaceOp::SetFont, true);
}

void TRecordingSurface::SetBkMode(TBkMode mode)
{
    BkMode_ = mode;
    Add(TSurfaceOp::SetBkMode, true);
}

void TRecordingSurface::SetBkColor(TColor color)
{
    BkColor_ = color;
    Add(TSurfaceOp::SetBkColor, true);
}

void TRecordingSurface::SetTextAlign(THorizTextAlign horiz, TVertTextAlign vert)
{
    HAlign_ = horiz;
    VAlign_ = vert;
    Add(TSurfaceOp::SetTextAlign, true);
}

std::int32_t TRecordingSurface::TextWidth(std::string_view text)
{
    return Utf8Length(text) * CharWidth;
}

std::int32_t TRecordingSurface::FontHeight()
{
    return FixedFontHeight;
}

void TRecordingSurface::TextOut(std::int32_t x, std::int32_t y, std::string_view text)
{
    TSurfaceRecord& r = Add(TSurfaceOp::TextOut, false);
    r.X = x;
    r.Y = y;
    r.Text = std::string(text);
}

void TRecordingSurface::MoveTo(std::int32_t x, std::int32_t y)
{
    Pos_ = TPoint{x, y};
    TSurfaceRecord& r = Add(TSurfaceOp::MoveTo, false);
    r.X = x;
    r.Y = y;
}

void TRecordingSurface::LineTo(std::int32_t x, std::int32_t y)
{
    TSurfaceRecord& r = Add(TSurfaceOp::LineTo, false);
    r.X = x;
    r.Y = y;
    Pos_ = TPoint{x, y};
}

void TRecordingSurface::Rectangle(const TRect& rect)
{
    Add(TSurfaceOp::Rectangle, false).Rect = rect;
}

void TRecordingSurface::FillRect(const TRect& rect)
{
    Add(TSurfaceOp::FillRect, false).Rect = rect;
}

void TRecordingSurface::SetClipRect(const TRect& rect)
{
    Clipped_ = true;
    Clip_ = rect;
    Add(TSurfaceOp::SetClip, false).Rect = rect;
}

void TRecordingSurface::RemoveClip()
{
    Clipped_ = false;
    Clip_ = TRect{};
    Add(TSurfaceOp::RemoveClip, false);
}

std::unique_ptr<TSurfaceImage> TRecordingSurface::CreateImage(std::int32_t width,
                                                              std::int32_t height)
{
    const std::int32_t layer = ++Log_->ImagesCreated;
    TSurfaceRecord& r = Add(TSurfaceOp::CreateImage, false);
    r.Rect = TRect{0, 0, width, height};
    r.X = layer;
    return std::make_unique<Image>(Log_, layer, width, height, CharWidth, FixedFontHeight);
}

void TRecordingSurface::DrawImage(TSurfaceImage& image, std::int32_t x, std::int32_t y)
{
    TSurfaceRecord& r = Add(TSurfaceOp::DrawImage, false);
    r.X = x;
    r.Y = y;
    r.Rect = TRect{x, y, x + image.Width(), y + image.Height()};
    if (auto* own = dynamic_cast<Image*>(&image))
        r.Text = std::to_string(own->Layer());
}

} // namespace rv
