#include "rangeview/chart/qt/QtSurface.h"

#include <QFontInfo>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "rangeview/common/Numeric.h"

namespace rv {

namespace {

QPainter::CompositionMode PenComposition(TPenMode mode) {
    // Not-xor: each pixel becomes NOT (pen XOR screen); drawing twice restores it.
    return mode == TPenMode::pmNotXor ? QPainter::RasterOp_NotSourceXorDestination
                                      : QPainter::CompositionMode_SourceOver;
}

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Palette roles standing in for the desktop's system colours, by system colour index.
std::optional<QPalette::ColorRole> RoleFor(std::uint32_t index) {
    switch (index) {
    case 0: return QPalette::Button;          // scroll bar
    case 1: return QPalette::Window;          // desktop
    case 2: return QPalette::Highlight;       // active caption
    case 3: return QPalette::Mid;             // inactive caption
    case 4: return QPalette::Window;          // menu
    case 5: return QPalette::Base;            // window
    case 6: return QPalette::Shadow;          // window frame
    case 7: return QPalette::WindowText;      // menu text
    case 8: return QPalette::Text;            // window text
    case 9: return QPalette::HighlightedText; // caption text
    case 10:
    case 11: return QPalette::Window;         // borders
    case 12: return QPalette::Mid;            // application workspace
    case 13: return QPalette::Highlight;
    case 14: return QPalette::HighlightedText;
    case 15: return QPalette::Button;         // button face
    case 16: return QPalette::Dark;           // button shadow
    case 18: return QPalette::ButtonText;
    case 19: return QPalette::WindowText;     // inactive caption text
    case 20: return QPalette::Light;          // button highlight
    case 21: return QPalette::Shadow;         // 3-D dark shadow
    case 22: return QPalette::Midlight;       // 3-D light
    case 23: return QPalette::ToolTipText;
    case 24: return QPalette::ToolTipBase;
    default: return std::nullopt;
    }
}

} // namespace

QtSurface::QtSurface(const QPalette* palette) : palette_(palette) {
    // Differs from every real pen, so the first SetPen builds the QPen.
    pen_.Width = -1;
    SetPen(TPenData{});
    SetFont(TFontData{});
}

QtSurface::~QtSurface() = default;

QColor QtSurface::ToQColor(TColor rgb) {
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TColor QtSurface::ColorToRGB(TColor color) const {
    if (!IsSystemColor(color) || !palette_) return FixedColorToRGB(color);
    const std::uint32_t index = color & 0xFFu;
    const auto role = RoleFor(index);
    if (!role && index != 17) return DefaultSystemColor(color);
    const QColor c = index == 17 ? palette_->color(QPalette::Disabled, QPalette::Text)
                                 : palette_->color(QPalette::Active, *role);
    return RGB(static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
               static_cast<std::uint8_t>(c.blue()));
}

QFont QtSurface::MakeFont(const TFontData& data) {
    QFont f(QString::fromStdString(data.Name));
    // Negative heights are character heights (the pixel size); positive ones are cell heights,
    // scaled down by the font's own ascent + descent; zero takes a usual default.
    if (data.Height < 0) {
        f.setPixelSize(-data.Height);
    } else if (data.Height > 0) {
        f.setPixelSize(data.Height);
        const int cell = QFontMetrics(f).height();
        if (cell > 0 && cell != data.Height) {
            f.setPixelSize(std::max(1, static_cast<int>(std::lround(
                                            static_cast<double>(data.Height) * data.Height / cell))));
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

void QtSurface::Attach(QPainter* painter) {
    Flush();
    painter_ = painter;
    if (painter_) ApplyState(*painter_);
}

void QtSurface::Detach() {
    Flush();
    painter_ = nullptr;
}

QPainter* QtSurface::Draw() {
    QPainter* p = ActivePainter();
    if (p && !line_.isEmpty()) FlushLine(*p);
    return p;
}

void QtSurface::Flush() {
    if (line_.isEmpty()) return;
    if (QPainter* p = ActivePainter()) {
        FlushLine(*p);
    } else {
        line_.clear();
    }
}

void QtSurface::FlushLine(QPainter& p) {
    if (line_.size() >= 2 && penVisible_) p.drawPolyline(line_.constData(), static_cast<int>(line_.size()));
    line_.clear();
}

void QtSurface::ApplyPen(QPainter& p) {
    p.setPen(penVisible_ ? qpen_ : QPen(Qt::NoPen));
    p.setCompositionMode(PenComposition(pen_.Mode));
}

void QtSurface::ApplyState(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setBrush(Qt::NoBrush);
    ApplyPen(p);
    p.setBackgroundMode(bkMode_ == TBkMode::bkOpaque ? Qt::OpaqueMode : Qt::TransparentMode);
    p.setBackground(QBrush(bkColor_));
    if (clipped_) {
        p.setClipRect(clip_);
    } else {
        p.setClipping(false);
    }
}

// --- state ----------------------------------------------------------------------------------

void QtSurface::SetPen(const TPenData& pen) {
    if (pen == pen_) return;
    Flush();
    pen_ = pen;
    const std::int32_t width = std::max<std::int32_t>(pen.Width, 1);
    QPen q(ToQColor(pen.Color));
    q.setWidth(width);
    // Thin lines leave out their end pixel; wider ones get round ends and joins.
    q.setCapStyle(width <= 1 ? Qt::FlatCap : Qt::RoundCap);
    q.setJoinStyle(width <= 1 ? Qt::MiterJoin : Qt::RoundJoin);
    penVisible_ = pen.Style != TPenStyle::psClear;
    if (pen.SmallDots && width == 1) {
        q.setDashPattern({1.0, 1.0});
    } else {
        switch (pen.Style) {
        case TPenStyle::psDash: q.setStyle(Qt::DashLine); break;
        // One-pixel dots with two-pixel gaps.
        case TPenStyle::psDot: q.setStyle(Qt::DotLine); break;
        case TPenStyle::psDashDot: q.setStyle(Qt::DashDotLine); break;
        case TPenStyle::psDashDotDot: q.setStyle(Qt::DashDotDotLine); break;
        default: q.setStyle(Qt::SolidLine); break;
        }
    }
    qpen_ = q;
    if (QPainter* p = ActivePainter()) ApplyPen(*p);
}

void QtSurface::SetBrush(const TBrushData& brush) { brush_ = brush; }

void QtSurface::SetFont(const TFontData& font) {
    if (metrics_ && font == fontData_) return;
    const bool sameShape = metrics_ && font.Name == fontData_.Name && font.Height == fontData_.Height &&
                           font.Style == fontData_.Style;
    fontData_ = font;
    if (sameShape) return;
    font_ = MakeFont(font);
    metrics_.emplace(font_);
}

void QtSurface::SetBkMode(TBkMode mode) {
    if (mode == bkMode_) return;
    Flush();
    bkMode_ = mode;
    if (QPainter* p = ActivePainter()) {
        p->setBackgroundMode(mode == TBkMode::bkOpaque ? Qt::OpaqueMode : Qt::TransparentMode);
    }
}

void QtSurface::SetBkColor(TColor color) {
    const QColor c = ToQColor(color);
    if (c == bkColor_) return;
    Flush();
    bkColor_ = c;
    if (QPainter* p = ActivePainter()) p->setBackground(QBrush(bkColor_));
}

void QtSurface::SetTextAlign(THorizTextAlign horiz, TVertTextAlign vert) {
    hAlign_ = horiz;
    vAlign_ = vert;
}

// --- text -------------------------------------------------------------------------------------

std::int32_t QtSurface::TextWidth(std::string_view text) {
    return metrics_->horizontalAdvance(ToQString(text));
}

std::int32_t QtSurface::FontHeight() { return metrics_->height(); }

void QtSurface::TextOut(std::int32_t x, std::int32_t y, std::string_view text) {
    QPainter* p = Draw();
    if (!p || text.empty()) return;
    const QString s = ToQString(text);
    const int w = metrics_->horizontalAdvance(s);
    const int h = metrics_->height();
    int left = x;
    if (hAlign_ == THorizTextAlign::taCenter) left = x - w / 2;
    if (hAlign_ == THorizTextAlign::taRight) left = x - w;
    const int top = vAlign_ == TVertTextAlign::taBottom ? y - h : y;
    p->setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (bkMode_ == TBkMode::bkOpaque) p->fillRect(QRect(left, top, w, h), bkColor_);
    p->setFont(font_);
    p->setPen(ToQColor(fontData_.Color));
    p->drawText(QPoint(left, top + metrics_->ascent()), s);
    ApplyPen(*p);
}

// --- lines and areas -------------------------------------------------------------------------

void QtSurface::MoveTo(std::int32_t x, std::int32_t y) {
    Flush();
    pos_ = QPoint(x, y);
}

void QtSurface::LineTo(std::int32_t x, std::int32_t y) {
    const QPoint to(x, y);
    if (penVisible_ && to != pos_ && qpen_.width() <= 1 && qpen_.style() == Qt::SolidLine) {
        if (QPainter* p = Draw()) DrawThinLine(*p, pos_, to);
    } else if (penVisible_ && to != pos_) {
        if (line_.isEmpty()) line_.append(pos_);
        line_.append(to);
        // Long runs are drawn in pieces so the queue stays small.
        if (line_.size() >= 4096) {
            if (QPainter* p = ActivePainter()) {
                FlushLine(*p);
            } else {
                line_.clear();
            }
        }
    }
    pos_ = to;
}

void QtSurface::DrawThinLine(QPainter& p, QPoint a, QPoint b) {
    // Qt turns a thin line around to its own drawing direction before leaving out the last
    // pixel, so a line drawn leftward or upward would lose its start and gain its end. The
    // pixels from a up to b (excluded) are set here instead.
    const std::int64_t dx = std::int64_t{b.x()} - a.x();
    const std::int64_t dy = std::int64_t{b.y()} - a.y();
    const QColor c = qpen_.color();
    // Far enough beyond any image to stand for infinity, small enough for a QRect.
    static constexpr std::int64_t Far = 1 << 24;
    auto run = [](std::int64_t from, std::int64_t to, std::int64_t& lo, std::int64_t& hi) {
        lo = std::max(to > from ? from : to + 1, -Far);
        hi = std::min(to > from ? to : from + 1, Far);
    };
    std::int64_t lo = 0;
    std::int64_t hi = 0;
    if (dy == 0) {
        run(a.x(), b.x(), lo, hi);
        if (lo < hi) p.fillRect(QRect(static_cast<int>(lo), a.y(), static_cast<int>(hi - lo), 1), c);
        return;
    }
    if (dx == 0) {
        run(a.y(), b.y(), lo, hi);
        if (lo < hi) p.fillRect(QRect(a.x(), static_cast<int>(lo), 1, static_cast<int>(hi - lo)), c);
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
    points_.clear();
    for (std::int32_t i = 0; i < len; ++i) {
        points_.append(QPoint(a.x() + MulDiv(i, static_cast<std::int32_t>(dx), len),
                              a.y() + MulDiv(i, static_cast<std::int32_t>(dy), len)));
    }
    p.drawPoints(points_.constData(), static_cast<int>(points_.size()));
}

void QtSurface::Rectangle(const TRect& r) {
    QPainter* p = Draw();
    if (!p || r.IsEmpty()) return;
    const int w = r.Width();
    const int h = r.Height();
    if (brush_.Style != TBrushStyle::bsClear) {
        // Inside the outline; without a pen the right column and bottom row stay out too.
        const QRect inside = penVisible_ ? QRect(r.Left + 1, r.Top + 1, w - 2, h - 2)
                                         : QRect(r.Left, r.Top, w - 1, h - 1);
        if (inside.width() > 0 && inside.height() > 0) {
            p->fillRect(inside, ToQColor(brush_.Color));
        }
    }
    if (!penVisible_) return;
    if (qpen_.width() <= 1 && qpen_.style() == Qt::SolidLine) {
        // Four disjoint runs: every outline pixel is touched once, which not-xor relies on.
        const QColor c = qpen_.color();
        p->fillRect(QRect(r.Left, r.Top, w, 1), c);
        if (h > 1) p->fillRect(QRect(r.Left, r.Bottom - 1, w, 1), c);
        if (h > 2) {
            p->fillRect(QRect(r.Left, r.Top + 1, 1, h - 2), c);
            if (w > 1) p->fillRect(QRect(r.Right - 1, r.Top + 1, 1, h - 2), c);
        }
    } else {
        p->setBrush(Qt::NoBrush);
        p->drawRect(QRect(r.Left, r.Top, w - 1, h - 1));
    }
}

void QtSurface::FillRect(const TRect& r) {
    QPainter* p = Draw();
    if (!p || r.IsEmpty() || brush_.Style == TBrushStyle::bsClear) return;
    p->setCompositionMode(QPainter::CompositionMode_SourceOver);
    p->fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()), ToQColor(brush_.Color));
    p->setCompositionMode(PenComposition(pen_.Mode));
}

void QtSurface::SetClipRect(const TRect& r) {
    Flush();
    const QRect q(r.Left, r.Top, std::max(0, r.Width()), std::max(0, r.Height()));
    clip_ = clipped_ ? clip_.intersected(q) : q;
    clipped_ = true;
    if (QPainter* p = ActivePainter()) p->setClipRect(clip_);
}

void QtSurface::RemoveClip() {
    Flush();
    clipped_ = false;
    clip_ = QRect();
    if (QPainter* p = ActivePainter()) p->setClipping(false);
}

// --- images -----------------------------------------------------------------------------------

std::unique_ptr<TSurfaceImage> QtSurface::CreateImage(std::int32_t width, std::int32_t height) {
    return std::make_unique<QtSurfaceImage>(width, height, palette_);
}

void QtSurface::DrawImage(TSurfaceImage& image, std::int32_t x, std::int32_t y) {
    auto* qt = dynamic_cast<QtSurfaceImage*>(&image);
    QPainter* p = Draw();
    if (!qt || !p) return;
    const QImage& pixels = qt->Image();
    p->setCompositionMode(QPainter::CompositionMode_Source);
    p->drawImage(QPoint(x, y), pixels);
    p->setCompositionMode(PenComposition(pen_.Mode));
}

QtSurfaceImage::QtSurfaceImage(std::int32_t width, std::int32_t height, const QPalette* palette)
    : image_(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32), surface_(image_, palette) {
    image_.fill(Qt::white);
}

QtSurfaceImage::~QtSurfaceImage() = default;

const QImage& QtSurfaceImage::Image() {
    surface_.End();
    return image_;
}

void QtSurfaceImage::ImageSurface::End() {
    // A queued polyline still has to reach the pixels.
    Flush();
    if (painter_.isActive()) painter_.end();
}

QPainter* QtSurfaceImage::ImageSurface::ActivePainter() {
    if (!painter_.isActive()) {
        painter_.begin(&image_);
        ApplyState(painter_);
    }
    return &painter_;
}

} // namespace rv
