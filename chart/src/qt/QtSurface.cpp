#include "rangeview/chart/qt/QtSurface.h"

#include <QFontInfo>
#include <QPolygonF>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "DeviceGrid.h"
#include "DirectPixels.h"
#include "QtTextCache.h"
#include "SegmentStamps.h"
#include "rangeview/common/Numeric.h"

namespace rv {

namespace {

QPainter::CompositionMode PenComposition(TPenMode mode)
{
    // Not-xor: each pixel becomes NOT (pen XOR screen); drawing twice restores it.
    return mode == TPenMode::pmNotXor ? QPainter::RasterOp_NotSourceXorDestination
                                      : QPainter::CompositionMode_SourceOver;
}

QString ToQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Palette roles standing in for the desktop's system colours, by system colour index.
std::optional<QPalette::ColorRole> RoleFor(std::uint32_t index)
{
    switch (index) {
    case 0:
        return QPalette::Button; // scroll bar
    case 1:
        return QPalette::Window; // desktop
    case 2:
        return QPalette::Highlight; // active caption
    case 3:
        return QPalette::Mid; // inactive caption
    case 4:
        return QPalette::Window; // menu
    case 5:
        return QPalette::Base; // window
    case 6:
        return QPalette::Shadow; // window frame
    case 7:
        return QPalette::WindowText; // menu text
    case 8:
        return QPalette::Text; // window text
    case 9:
        return QPalette::HighlightedText; // caption text
    case 10:
    case 11:
        return QPalette::Window; // borders
    case 12:
        return QPalette::Mid; // application workspace
    case 13:
        return QPalette::Highlight;
    case 14:
        return QPalette::HighlightedText;
    case 15:
        return QPalette::Button; // button face
    case 16:
        return QPalette::Dark; // button shadow
    case 18:
        return QPalette::ButtonText;
    case 19:
        return QPalette::WindowText; // inactive caption text
    case 20:
        return QPalette::Light; // button highlight
    case 21:
        return QPalette::Shadow; // 3-D dark shadow
    case 22:
        return QPalette::Midlight; // 3-D light
    case 23:
        return QPalette::ToolTipText;
    case 24:
        return QPalette::ToolTipBase;
    default:
        return std::nullopt;
    }
}

bool referenceDrawing = false;

} // namespace

struct QtSurface::Caches {
    QtTextCache Texts;
    pixelcache::SegmentStamps Stamps;
    // Where QPainter puts pixels on the image drawn into.
    pixelcache::DeviceGrid Grid;
};

void QtSurface::SetReferenceDrawing(bool on)
{
    referenceDrawing = on;
}
bool QtSurface::ReferenceDrawing()
{
    return referenceDrawing;
}
void QtSurface::ForgetRenderedText()
{
    QtTextCache::ForgetAll();
}

void QtSurface::CheckTextGeneration()
{
    if (Caches_->Texts.Renew())
        SelectFont(FontData_);
}

QtSurface::QtSurface(const QPalette* palette)
    : Caches_(std::make_unique<Caches>()), Palette_(palette)
{
    // Differs from every real pen, so the first SetPen builds the QPen.
    Pen_.Width = -1;
    SetPen(TPenData{});
    SetFont(TFontData{});
}

QtSurface::~QtSurface() = default;

QColor QtSurface::ToQColor(TColor rgb)
{
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TColor QtSurface::ColorToRGB(TColor color) const
{
    if (!IsSystemColor(color) || !Palette_)
        return FixedColorToRGB(color);
    const std::uint32_t index = color & 0xFFu;
    const auto role = RoleFor(index);
    if (!role && index != 17)
        return DefaultSystemColor(color);
    const QColor c = index == 17 ? Palette_->color(QPalette::Disabled, QPalette::Text)
                                 : Palette_->color(QPalette::Active, *role);
    return RGB(static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
               static_cast<std::uint8_t>(c.blue()));
}

QFont QtSurface::MakeFont(const TFontData& data)
{
    QFont f(QString::fromStdString(data.Name));
    // Negative heights are character heights (the pixel size); positive ones are cell heights,
    // scaled down by the font's own ascent + descent; zero takes a usual default.
    if (data.Height < 0) {
        f.setPixelSize(-data.Height);
    } else if (data.Height > 0) {
        f.setPixelSize(data.Height);
        const int cell = QFontMetrics(f).height();
        if (cell > 0 && cell != data.Height) {
            f.setPixelSize(
                std::max(1, static_cast<int>(std::lround(static_cast<double>(data.Height) *
                                                         data.Height / cell))));
        }
    } else {
        f.setPixelSize(13);
    }
    f.setBold((data.Style & fsBold) != 0);
    f.setItalic((data.Style & fsItalic) != 0);
    f.setUnderline((data.Style & fsUnderline) != 0);
    f.setStrikeOut((data.Style & fsStrikeOut) != 0);
    return f;
}

void QtSurface::Attach(QPainter* painter)
{
    Flush();
    Painter_ = painter;
    if (Painter_)
        ApplyState(*Painter_);
}

void QtSurface::Detach()
{
    Flush();
    Painter_ = nullptr;
    Offered_.reset();
}

QPainter* QtSurface::Draw()
{
    QPainter* p = ActivePainter();
    if (p && !Line_.isEmpty())
        FlushLine(*p);
    return p;
}

void QtSurface::Flush()
{
    if (Line_.isEmpty())
        return;
    if (QPainter* p = ActivePainter()) {
        FlushLine(*p);
    } else {
        Line_.clear();
    }
}

void QtSurface::SetVectorOutput(bool on)
{
    Flush();
    Vector_ = on;
}

void QtSurface::FlushLine(QPainter& p)
{
    if (Line_.size() >= 2 && PenVisible_ && Vector_) {
        QPolygonF centres;
        centres.reserve(Line_.size());
        for (const QPoint& point : std::as_const(Line_))
            centres.append(QPointF(point) + QPointF(0.5, 0.5));
        p.drawPolyline(centres);
    } else if (Line_.size() >= 2 && PenVisible_) {
        QImage* image = Direct();
        // A dash pattern runs on across the joints of a polyline, so only a single segment of
        // a patterned pen is the same as its stamp; solid lines are the union of their segments.
        if (image && Pen_.Mode == TPenMode::pmCopy &&
            (Qpen_.style() == Qt::SolidLine || Line_.size() == 2)) {
            StampLine(p, *image);
        } else {
            p.drawPolyline(Line_.constData(), static_cast<int>(Line_.size()));
        }
    }
    Line_.clear();
}

QImage* QtSurface::Direct()
{
    if (referenceDrawing)
        return nullptr;
    QImage* image = PixelTarget();
    // Another image sharing the pixels would see them change (the painter keeps drawing into
    // the buffer it began with).
    return image && image->isDetached() ? image : nullptr;
}

QRect QtSurface::Writable(const QImage& image) const
{
    if (!Clipped_)
        return image.rect();
    return Clip_.isEmpty() ? QRect() : image.rect().intersected(Caches_->Grid.Clip(Clip_));
}

void QtSurface::FillDirect(QImage& image, const QRect& r, const QColor& color)
{
    if (r.isEmpty())
        return;
    const QRect area = Caches_->Grid.Fill(r).intersected(Writable(image));
    if (!area.isEmpty())
        pixelcache::Fill(image, area, color.rgb());
}

bool QtSurface::StampSegment(QImage& image, QPoint a, QPoint b)
{
    return Caches_->Stamps.Draw(image, a, b, Qpen_, BkMode_ == TBkMode::bkOpaque, BkColor_.rgb(),
                                Caches_->Grid, Writable(image));
}

void QtSurface::StampLine(QPainter& p, QImage& image)
{
    const int n = static_cast<int>(Line_.size());
    // Segments the cache cannot stand for go through QPainter, in short runs: its stroker
    // slows down on long polylines.
    static constexpr int RunLength = 16;
    int run = -1;
    auto drawRun = [&](int end) {
        if (run >= 0 && end > run)
            p.drawPolyline(Line_.constData() + run, end - run + 1);
        run = -1;
    };
    for (int i = 1; i < n; ++i) {
        if (StampSegment(image, Line_[i - 1], Line_[i])) {
            drawRun(i - 1);
            continue;
        }
        if (run < 0)
            run = i - 1;
        if (i - run >= RunLength) {
            drawRun(i);
            run = -1;
        }
    }
    drawRun(n - 1);
}

void QtSurface::ApplyPen(QPainter& p)
{
    p.setPen(PenVisible_ ? Qpen_ : QPen(Qt::NoPen));
    ApplyComposition(p);
}

void QtSurface::ApplyComposition(QPainter& p)
{
    p.setCompositionMode(PenComposition(Pen_.Mode));
}

void QtSurface::ApplyState(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setBrush(Qt::NoBrush);
    ApplyPen(p);
    p.setBackgroundMode(BkMode_ == TBkMode::bkOpaque ? Qt::OpaqueMode : Qt::TransparentMode);
    p.setBackground(QBrush(BkColor_));
    if (Clipped_) {
        p.setClipRect(Clip_);
    } else {
        p.setClipping(false);
    }
}

// --- state ----------------------------------------------------------------------------------

void QtSurface::SetPen(const TPenData& pen)
{
    if (pen == Pen_)
        return;
    Flush();
    Pen_ = pen;
    const std::int32_t width = std::max<std::int32_t>(pen.Width, 1);
    QPen q(ToQColor(pen.Color));
    q.setWidth(width);
    // Thin lines leave out their end pixel; wider ones get round ends and joins.
    q.setCapStyle(width <= 1 ? Qt::FlatCap : Qt::RoundCap);
    q.setJoinStyle(width <= 1 ? Qt::MiterJoin : Qt::RoundJoin);
    PenVisible_ = pen.Style != TPenStyle::psClear;
    if (pen.SmallDots && width == 1) {
        q.setDashPattern({1.0, 1.0});
    } else {
        switch (pen.Style) {
        case TPenStyle::psDash:
            q.setStyle(Qt::DashLine);
            break;
        // One-pixel dots with two-pixel gaps.
        case TPenStyle::psDot:
            q.setStyle(Qt::DotLine);
            break;
        case TPenStyle::psDashDot:
            q.setStyle(Qt::DashDotLine);
            break;
        case TPenStyle::psDashDotDot:
            q.setStyle(Qt::DashDotDotLine);
            break;
        default:
            q.setStyle(Qt::SolidLine);
            break;
        }
    }
    Qpen_ = q;
    Caches_->Stamps.StrokeChanged();
    if (QPainter* p = ActivePainter())
        ApplyPen(*p);
}

void QtSurface::SetBrush(const TBrushData& brush)
{
    Brush_ = brush;
}

void QtSurface::SetFont(const TFontData& font)
{
    CheckTextGeneration();
    if (Metrics_ && font == FontData_)
        return;
    const bool sameShape = Metrics_ && font.Name == FontData_.Name &&
                           font.Height == FontData_.Height && font.Style == FontData_.Style;
    FontData_ = font;
    if (sameShape)
        return;
    SelectFont(font);
}

void QtSurface::SelectFont(const TFontData& font)
{
    const QtTextCache::FontEntry& entry = Caches_->Texts.Select(font, &MakeFont);
    Font_ = entry.Font;
    Metrics_.emplace(entry.Metrics);
    FontHeight_ = entry.Height;
    FontAscent_ = entry.Ascent;
}

void QtSurface::SetBkMode(TBkMode mode)
{
    if (mode == BkMode_)
        return;
    Flush();
    BkMode_ = mode;
    Caches_->Stamps.StrokeChanged();
    if (QPainter* p = ActivePainter()) {
        p->setBackgroundMode(mode == TBkMode::bkOpaque ? Qt::OpaqueMode : Qt::TransparentMode);
    }
}

void QtSurface::SetBkColor(TColor color)
{
    const QColor c = ToQColor(color);
    if (c == BkColor_)
        return;
    Flush();
    BkColor_ = c;
    Caches_->Stamps.StrokeChanged();
    if (QPainter* p = ActivePainter())
        p->setBackground(QBrush(BkColor_));
}

void QtSurface::SetTextAlign(THorizTextAlign horiz, TVertTextAlign vert)
{
    HAlign_ = horiz;
    VAlign_ = vert;
}

// --- text -------------------------------------------------------------------------------------

std::int32_t QtSurface::TextWidth(std::string_view text)
{
    CheckTextGeneration();
    if (!referenceDrawing) {
        if (const QtTextCache::TextInfo* info = Caches_->Texts.Find(text))
            return info->Width;
    }
    return Metrics_->horizontalAdvance(ToQString(text));
}

std::int32_t QtSurface::FontHeight()
{
    CheckTextGeneration();
    return FontHeight_;
}

void QtSurface::TextOut(std::int32_t x, std::int32_t y, std::string_view text)
{
    QPainter* p = Draw();
    if (!p || text.empty())
        return;
    CheckTextGeneration();
    QImage* image = Direct();
    QtTextCache::TextInfo* info = image ? Caches_->Texts.Find(text) : nullptr;
    const QString s = info ? info->String : ToQString(text);
    const int w = info ? info->Width : Metrics_->horizontalAdvance(s);
    const int h = FontHeight_;
    int left = x;
    if (HAlign_ == THorizTextAlign::taCenter)
        left = x - w / 2;
    if (HAlign_ == THorizTextAlign::taRight)
        left = x - w;
    const int top = VAlign_ == TVertTextAlign::taTop ? y : y - h;
    p->setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (BkMode_ == TBkMode::bkOpaque) {
        if (image) {
            FillDirect(*image, QRect(left, top, w, h), BkColor_);
        } else {
            p->fillRect(QRect(left, top, w, h), BkColor_);
        }
    }
    if (info && Caches_->Texts.Draw(*p, *image, *info, QPoint(left, top), ToQColor(FontData_.Color),
                                    Caches_->Grid, Writable(*image))) {
        ApplyPen(*p);
        return;
    }
    p->setFont(Font_);
    p->setPen(ToQColor(FontData_.Color));
    p->drawText(QPoint(left, top + FontAscent_), s);
    ApplyPen(*p);
}

// --- lines and areas -------------------------------------------------------------------------

void QtSurface::MoveTo(std::int32_t x, std::int32_t y)
{
    Flush();
    Pos_ = QPoint(x, y);
}

void QtSurface::LineTo(std::int32_t x, std::int32_t y)
{
    const QPoint to(x, y);
    if (PenVisible_ && to != Pos_ && Qpen_.width() <= 1 && Qpen_.style() == Qt::SolidLine &&
        !Vector_) {
        if (QPainter* p = Draw())
            DrawThinLine(*p, Pos_, to);
    } else if (PenVisible_ && to != Pos_) {
        // A solid line is the union of its segments: each goes down at once when it can.
        if (Line_.isEmpty() && Qpen_.style() == Qt::SolidLine && Pen_.Mode == TPenMode::pmCopy) {
            QImage* image = Direct();
            if (image && StampSegment(*image, Pos_, to)) {
                Pos_ = to;
                return;
            }
        }
        if (Line_.isEmpty())
            Line_.append(Pos_);
        Line_.append(to);
        // Long runs are drawn in pieces so the queue stays small.
        if (Line_.size() >= 4096) {
            if (QPainter* p = ActivePainter()) {
                FlushLine(*p);
            } else {
                Line_.clear();
            }
        }
    }
    Pos_ = to;
}

void QtSurface::DrawThinLine(QPainter& p, QPoint a, QPoint b)
{
    // Qt turns a thin line around to its own drawing direction before leaving out the last
    // pixel, so a line drawn leftward or upward would lose its start and gain its end. The
    // pixels from a up to b (excluded) are set here instead.
    const std::int64_t dx = std::int64_t{b.x()} - a.x();
    const std::int64_t dy = std::int64_t{b.y()} - a.y();
    const QColor c = Qpen_.color();
    // Far enough beyond any image to stand for infinity, small enough for a QRect.
    static constexpr std::int64_t Far = 1 << 24;
    auto run = [](std::int64_t from, std::int64_t to, std::int64_t& lo, std::int64_t& hi) {
        lo = std::max(to > from ? from : to + 1, -Far);
        hi = std::min(to > from ? to : from + 1, Far);
    };
    std::int64_t lo = 0;
    std::int64_t hi = 0;
    QImage* image = Pen_.Mode == TPenMode::pmCopy ? Direct() : nullptr;
    auto fill = [&](const QRect& r) {
        if (image) {
            FillDirect(*image, r, c);
        } else {
            p.fillRect(r, c);
        }
    };
    if (dy == 0) {
        run(a.x(), b.x(), lo, hi);
        if (lo < hi)
            fill(QRect(static_cast<int>(lo), a.y(), static_cast<int>(hi - lo), 1));
        return;
    }
    if (dx == 0) {
        run(a.y(), b.y(), lo, hi);
        if (lo < hi)
            fill(QRect(a.x(), static_cast<int>(lo), 1, static_cast<int>(hi - lo)));
        return;
    }
    const std::int64_t n = std::max(std::llabs(dx), std::llabs(dy));
    // Slanted lines this long only lead to points far outside the axis range; Qt draws them
    // clipped, at worst one end pixel off, instead of a walk over millions of pixels.
    if (n > 32768) {
        p.drawLine(a, b);
        return;
    }
    const auto len = static_cast<std::int32_t>(n);
    Points_.clear();
    for (std::int32_t i = 0; i < len; ++i) {
        Points_.append(QPoint(a.x() + MulDiv(i, static_cast<std::int32_t>(dx), len),
                              a.y() + MulDiv(i, static_cast<std::int32_t>(dy), len)));
    }
    p.drawPoints(Points_.constData(), static_cast<int>(Points_.size()));
}

void QtSurface::Rectangle(const TRect& r)
{
    QPainter* p = Draw();
    if (!p || r.IsEmpty())
        return;
    const int w = r.Width();
    const int h = r.Height();
    if (Brush_.Style != TBrushStyle::bsClear) {
        // Inside the outline; without a pen the right column and bottom row stay out too.
        const QRect inside = PenVisible_ ? QRect(r.Left + 1, r.Top + 1, w - 2, h - 2)
                                         : QRect(r.Left, r.Top, w - 1, h - 1);
        if (inside.width() > 0 && inside.height() > 0) {
            p->fillRect(inside, ToQColor(Brush_.Color));
        }
    }
    if (!PenVisible_)
        return;
    if (Qpen_.width() <= 1 && Qpen_.style() == Qt::SolidLine) {
        // Four disjoint runs: every outline pixel is touched once, which not-xor relies on.
        const QColor c = Qpen_.color();
        QImage* image = Pen_.Mode == TPenMode::pmCopy ? Direct() : nullptr;
        auto fill = [&](const QRect& part) {
            if (image) {
                FillDirect(*image, part, c);
            } else {
                p->fillRect(part, c);
            }
        };
        fill(QRect(r.Left, r.Top, w, 1));
        if (h > 1)
            fill(QRect(r.Left, r.Bottom - 1, w, 1));
        if (h > 2) {
            fill(QRect(r.Left, r.Top + 1, 1, h - 2));
            if (w > 1)
                fill(QRect(r.Right - 1, r.Top + 1, 1, h - 2));
        }
    } else {
        p->setBrush(Qt::NoBrush);
        p->drawRect(QRect(r.Left, r.Top, w - 1, h - 1));
    }
}

void QtSurface::FillRect(const TRect& r)
{
    QPainter* p = Draw();
    if (!p || r.IsEmpty() || Brush_.Style == TBrushStyle::bsClear)
        return;
    if (QImage* image = Direct()) {
        FillDirect(*image, QRect(r.Left, r.Top, r.Width(), r.Height()), ToQColor(Brush_.Color));
        return;
    }
    p->setCompositionMode(QPainter::CompositionMode_SourceOver);
    p->fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()), ToQColor(Brush_.Color));
    ApplyComposition(*p);
}

void QtSurface::SetClipRect(const TRect& r)
{
    Flush();
    const QRect q(r.Left, r.Top, std::max(0, r.Width()), std::max(0, r.Height()));
    Clip_ = Clipped_ ? Clip_.intersected(q) : q;
    Clipped_ = true;
    if (QPainter* p = ActivePainter())
        p->setClipRect(Clip_);
}

void QtSurface::RemoveClip()
{
    Flush();
    Clipped_ = false;
    Clip_ = QRect();
    if (QPainter* p = ActivePainter())
        p->setClipping(false);
}

// --- images -----------------------------------------------------------------------------------

bool QtSurface::MeasureDeviceGrid(qreal ratio)
{
    return Caches_->Grid.Measure(ratio);
}

qreal QtSurface::DeviceRatio() const
{
    return Painter_ && Painter_->device() ? Painter_->device()->devicePixelRatioF() : 1.0;
}

} // namespace rv
