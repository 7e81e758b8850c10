#include "ChartPaint.h"

#include <algorithm>

#include "FastLinePaint.h"
#include "rangeview/common/Numeric.h"

namespace rv {

// --- small property objects ------------------------------------------------------------------

namespace {
template <class T>
bool StoreChanged(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}
} // namespace

void TChartGradient::Changed()
{
    if (OnChange)
        OnChange();
}
void TChartGradient::SetDirection(TGradientDirection v)
{
    if (StoreChanged(Direction_, v))
        Changed();
}
void TChartGradient::SetStartColor(TColor v)
{
    if (StoreChanged(StartColor_, v))
        Changed();
}
void TChartGradient::SetEndColor(TColor v)
{
    if (StoreChanged(EndColor_, v))
        Changed();
}
void TChartGradient::SetVisible(bool v)
{
    if (StoreChanged(Visible_, v))
        Changed();
}

TChartTitle::TChartTitle()
{
    Font_.SetColor(clBlue);
    auto changed = [this] { Changed(); };
    Font_.OnChange = changed;
    Brush_.OnChange = changed;
    Frame_.OnChange = changed;
}
void TChartTitle::Changed()
{
    if (OnChange)
        OnChange();
}
void TChartTitle::SetText(const std::vector<std::string>& lines)
{
    if (StoreChanged(Text_, lines))
        Changed();
}
void TChartTitle::SetVisible(bool v)
{
    if (StoreChanged(Visible_, v))
        Changed();
}
void TChartTitle::SetAlignment(TAlignment v)
{
    if (StoreChanged(Alignment_, v))
        Changed();
}
void TChartTitle::SetColor(TColor v)
{
    if (StoreChanged(Color_, v))
        Changed();
}
void TChartTitle::SetAdjustFrame(bool v)
{
    if (StoreChanged(AdjustFrame_, v))
        Changed();
}

TChartWall::TChartWall()
{
    auto changed = [this] { Changed(); };
    Brush_.OnChange = changed;
    Pen_.OnChange = changed;
}
void TChartWall::Changed()
{
    if (OnChange)
        OnChange();
}
void TChartWall::SetColor(TColor v)
{
    if (StoreChanged(Color_, v))
        Changed();
}
void TChartWall::SetSize(std::int32_t v)
{
    if (StoreChanged(Size_, v))
        Changed();
}
void TChartWall::SetDark3D(bool v)
{
    if (StoreChanged(Dark3D_, v))
        Changed();
}

void TChartLegend::SetVisible(bool v)
{
    if (Visible_ == v)
        return;
    Visible_ = v;
    if (OnChange)
        OnChange();
}

// --- TCustomChart ------------------------------------------------------------------------------

TCustomChart::TCustomChart() : CanvasOwner_(std::make_unique<TCanvas3D>()), Canvas_(*CanvasOwner_)
{
    // Nothing here may ask for a repaint: the panel is still being built.
    SetAutoRepaint(false);
    HookChanges();
    SetTextMeasure(&Canvas_);
    SetAutoRepaint(true);
}

TCustomChart::~TCustomChart()
{
    BeginDestroy();
    SetTextMeasure(nullptr);
}

void TCustomChart::HookChanges()
{
    auto invalidate = [this] { Invalidate(); };
    Gradient_.OnChange = invalidate;
    Title_.OnChange = invalidate;
    Foot_.OnChange = invalidate;
    BackWall_.OnChange = invalidate;
    LeftWall_.OnChange = invalidate;
    BottomWall_.OnChange = invalidate;
    Legend_.OnChange = invalidate;
}

void TCustomChart::Invalidate()
{
    if (AutoRepaint() && !Destroying())
        Canvas_.ImageDirty = true;
    TCustomAxisPanel::Invalidate();
}

void TCustomChart::Repaint()
{
    if (AutoRepaint() && !Destroying())
        Canvas_.ImageDirty = true;
    TCustomAxisPanel::Repaint();
}

void TCustomChart::PaintHandler()
{
    if (Printing)
        return;
    TSurface* own = Canvas_.OwnSurface();
    // A paint from inside a draw (an event handler forcing a repaint) has nothing to add.
    if (!own || Canvas_.Drawing())
        return;
    TSurfaceImage* image = Canvas_.Image();
    // A clean image of another size than the control (resized without a repaint request) is
    // stale all the same.
    if (!Canvas_.ImageDirty && !Canvas_.ImageBehind() && image && image->Width() == Width() &&
        image->Height() == Height()) {
        own->DrawImage(*image, 0, 0);
        return;
    }
    Draw(*own, TRect{0, 0, Width(), Height()});
}

void TCustomChart::Draw(TSurface& target, const TRect& rect)
{
    if (Canvas_.Drawing())
        return;
    ++FullDraws_;
    ChartBounds = Canvas_.BeginDraw(target, rect);
    // Invalidate() during the draw (a handler changing a property) must survive the clean
    // flag the draw's final copy sets.
    const std::int64_t requestsBefore = RepaintRequestCount();
    try {
        InitialChartRect();
        DrawChart(ChartBounds);
    } catch (...) {
        Canvas_.EndDraw(false);
        throw;
    }
    Canvas_.EndDraw(true);
    if (RepaintRequestCount() != requestsBefore)
        Canvas_.ImageDirty = true;
}

void TCustomChart::SetBufferedDisplay(bool value)
{
    Canvas_.SetBufferedDisplay(value);
}

void TCustomChart::InitialChartRect()
{
    const std::int32_t w = ChartBounds.Width();
    const std::int32_t h = ChartBounds.Height();
    const std::int32_t b = BorderWidth();
    TRect r;
    r.Left = ChartBounds.Left + b + MulDiv(MarginLeft(), w, 100);
    r.Top = ChartBounds.Top + b + MulDiv(MarginTop(), h, 100);
    r.Right = ChartBounds.Right - b - MulDiv(MarginRight(), w, 100);
    r.Bottom = ChartBounds.Bottom - b - MulDiv(MarginBottom(), h, 100);
    SetChartRect(r);
}

void TCustomChart::DrawChart(const TRect& panelRect)
{
    PaintBackground(panelRect);
    PaintBevels(panelRect);
    // Legend: this chart draws none (the only configuration hides it).
    if (Title_.Visible())
        DrawTitle(Title_, false);
    if (Foot_.Visible())
        DrawTitle(Foot_, true);
    LayoutPlotArea();
    DrawBackWall();
    if (AxisVisible() && DrawAxesBeforeSeries) {
        if (OnBeforeDrawAxes)
            OnBeforeDrawAxes(this);
        DrawAxes();
    }
    if (OnBeforeDrawSeries)
        OnBeforeDrawSeries(this);
    for (TChartSeries* s : SeriesList()) {
        if (s->Active())
            DrawSeries(*s);
    }
    if (AxisVisible() && !DrawAxesBeforeSeries) {
        if (OnBeforeDrawAxes)
            OnBeforeDrawAxes(this);
        DrawAxes();
    }
    TRect zoom;
    if (ActiveZoomRectangle && ActiveZoomRectangle(zoom))
        DrawZoomRectangle(zoom);
    Canvas_.ResetState();
    if (OnAfterDraw)
        OnAfterDraw(this);
}

// --- background --------------------------------------------------------------------------------

namespace {

struct Rgb {
    std::int32_t R, G, B;
};

Rgb Split(TColor c)
{
    return Rgb{GetRValue(c), GetGValue(c), GetBValue(c)};
}

// Band k of n between a (k = 0) and b (k = n - 1).
TColor BandColor(const Rgb& a, const Rgb& b, std::int32_t k, std::int32_t n)
{
    // One band has nothing to blend toward (and MulDiv by zero would answer -1).
    if (n <= 1)
        return RGB(static_cast<std::uint8_t>(a.R), static_cast<std::uint8_t>(a.G),
                   static_cast<std::uint8_t>(a.B));
    auto ch = [&](std::int32_t x, std::int32_t y) {
        return static_cast<std::uint8_t>(std::clamp(x + MulDiv(k, y - x, n - 1), 0, 255));
    };
    return RGB(ch(a.R, b.R), ch(a.G, b.G), ch(a.B, b.B));
}

} // namespace

void TCustomChart::PaintBackground(const TRect& panel)
{
    if (!Gradient_.Visible()) {
        Canvas_.SetBrush(Color(), TBrushStyle::bsSolid);
        Canvas_.FillRect(panel);
        return;
    }
    const Rgb a = Split(Canvas_.ColorToRGB(Gradient_.StartColor()));
    const Rgb b = Split(Canvas_.ColorToRGB(Gradient_.EndColor()));
    const TBrushData saved = Canvas_.Brush();
    const std::int32_t w = panel.Width();
    const std::int32_t h = panel.Height();
    const TGradientDirection dir = Gradient_.Direction();
    const bool vertical =
        dir == TGradientDirection::gdTopBottom || dir == TGradientDirection::gdBottomTop;
    const bool horizontal =
        dir == TGradientDirection::gdLeftRight || dir == TGradientDirection::gdRightLeft;
    if (w > 0 && h > 0) {
        if (vertical || horizontal) {
            const std::int32_t len = vertical ? h : w;
            const std::int32_t n = std::min(len, 256);
            for (std::int32_t k = 0; k < n; ++k) {
                Canvas_.SetBrush(BandColor(a, b, k, n), TBrushStyle::bsSolid);
                const std::int32_t o0 = MulDiv(k, len, n);
                const std::int32_t o1 = MulDiv(k + 1, len, n);
                switch (dir) {
                case TGradientDirection::gdTopBottom: // A at the bottom edge
                    Canvas_.FillRect(
                        TRect{panel.Left, panel.Bottom - o1, panel.Right, panel.Bottom - o0});
                    break;
                case TGradientDirection::gdBottomTop:
                    Canvas_.FillRect(
                        TRect{panel.Left, panel.Top + o0, panel.Right, panel.Top + o1});
                    break;
                case TGradientDirection::gdLeftRight: // A at the right edge
                    Canvas_.FillRect(
                        TRect{panel.Right - o1, panel.Top, panel.Right - o0, panel.Bottom});
                    break;
                default:
                    Canvas_.FillRect(
                        TRect{panel.Left + o0, panel.Top, panel.Left + o1, panel.Bottom});
                    break;
                }
            }
        } else if (dir == TGradientDirection::gdFromCenter) {
            // Rings from A at the edge to B at the centre, one fill per side and band.
            const std::int32_t n = std::max(1, std::min((std::max(w, h) + 1) / 2, 256));
            for (std::int32_t k = 0; k < n; ++k) {
                Canvas_.SetBrush(BandColor(a, b, k, n), TBrushStyle::bsSolid);
                const std::int32_t x0 = MulDiv(k, w / 2, n), x1 = MulDiv(k + 1, w / 2, n);
                const std::int32_t y0 = MulDiv(k, h / 2, n), y1 = MulDiv(k + 1, h / 2, n);
                const TRect outer{panel.Left + x0, panel.Top + y0, panel.Right - x0,
                                  panel.Bottom - y0};
                TRect inner{panel.Left + x1, panel.Top + y1, panel.Right - x1, panel.Bottom - y1};
                if (k == n - 1)
                    inner = TRect{outer.Left, outer.Top, outer.Left, outer.Top};
                Canvas_.FillRect(TRect{outer.Left, outer.Top, outer.Right, inner.Top});
                Canvas_.FillRect(TRect{outer.Left, inner.Bottom, outer.Right, outer.Bottom});
                Canvas_.FillRect(TRect{outer.Left, inner.Top, inner.Left, inner.Bottom});
                Canvas_.FillRect(TRect{inner.Right, inner.Top, outer.Right, inner.Bottom});
            }
        } else {
            // gdFromTopLeft / gdFromBottomLeft: corner-anchored L-shaped bands, A at that
            // corner and B at the far one.
            const bool fromTop = dir == TGradientDirection::gdFromTopLeft;
            const std::int32_t n = std::max(1, std::min(std::max(w, h), 256));
            for (std::int32_t k = 0; k < n; ++k) {
                Canvas_.SetBrush(BandColor(a, b, n - 1 - k, n), TBrushStyle::bsSolid);
                const std::int32_t xo = panel.Left + w - MulDiv(k, w, n);
                const std::int32_t xi = panel.Left + w - MulDiv(k + 1, w, n);
                const std::int32_t yo = h - MulDiv(k, h, n);
                const std::int32_t yi = h - MulDiv(k + 1, h, n);
                if (fromTop) {
                    Canvas_.FillRect(TRect{xi, panel.Top, xo, panel.Top + yo});
                    Canvas_.FillRect(TRect{panel.Left, panel.Top + yi, xi, panel.Top + yo});
                } else {
                    Canvas_.FillRect(TRect{xi, panel.Bottom - yo, xo, panel.Bottom});
                    Canvas_.FillRect(TRect{panel.Left, panel.Bottom - yo, xi, panel.Bottom - yi});
                }
            }
        }
    }
    Canvas_.SetBrush(saved.Color, saved.Style);
}

// --- bevels and border ------------------------------------------------------------------------

void TCustomChart::PaintBevels(const TRect& panel)
{
    Canvas_.SetPen(clBlack, 1, TPenStyle::psSolid, TPenMode::pmCopy);
    Canvas_.SetBrush(Canvas_.Brush().Color, TBrushStyle::bsClear);
    TRect r = panel;
    auto bevel = [&](TPanelBevel kind) {
        switch (kind) {
        case TPanelBevel::bvNone:
            return;
        case TPanelBevel::bvRaised:
            Canvas_.Frame3D(r, clBtnHighlight, clBtnShadow, BevelWidth());
            return;
        case TPanelBevel::bvLowered:
            Canvas_.Frame3D(r, clBtnShadow, clBtnHighlight, BevelWidth());
            return;
        // An empty gap of the panel's own colour.
        case TPanelBevel::bvSpace:
            Canvas_.Frame3D(r, Color(), Color(), BevelWidth());
            return;
        }
    };
    bevel(BevelOuter());
    Canvas_.Frame3D(r, Color(), Color(), BorderWidth());
    bevel(BevelInner());
}

// --- title and foot -----------------------------------------------------------------------------

void TCustomChart::DrawTitle(TChartTitle& title, bool foot)
{
    Canvas_.SetFont(title.Font().Data());
    const std::int32_t h = Canvas_.FontHeight();
    const auto lines = static_cast<std::int32_t>(title.Text().size());
    const TChartPen& framePen = title.Frame();
    const std::int32_t f =
        (framePen.Visible() && framePen.Color() != clDefault) ? framePen.Width() : 0;
    const TRect cr = ChartRect();

    // Background: only a title with a colour or brush of its own is filled.
    const TChartBrush& brush = title.Brush();
    const bool clearBrush = brush.Style() == TBrushStyle::bsClear ||
                            (title.Color() == clDefault && brush.Color() == clDefault &&
                             brush.Style() == TBrushStyle::bsSolid);
    if (clearBrush) {
        Canvas_.SetBrush(Canvas_.Brush().Color, TBrushStyle::bsClear);
    } else {
        const TColor fill = title.Color() != clDefault ? title.Color() : brush.Color();
        Canvas_.SetBrush(fill == clDefault ? Color() : fill, brush.Style());
    }

    TRect tr;
    tr.Left = cr.Left + f;
    tr.Right = cr.Right - f;
    if (foot) {
        tr.Bottom = cr.Bottom - f;
        tr.Top = tr.Bottom - lines * h;
    } else {
        tr.Top = cr.Top + f;
        tr.Bottom = tr.Top + lines * h;
    }
    const std::int32_t innerLeft = tr.Left;
    const std::int32_t innerRight = tr.Right;
    const std::int32_t textTop = tr.Top;
    tr = TRect{tr.Left - f, tr.Top - f, tr.Right + f, tr.Bottom + f};
    title.TitleRect = tr;
    if (lines == 0 && f == 0)
        return;

    const std::int32_t wWidth = Canvas_.TextWidth("W");
    if (f > 0 || !clearBrush) {
        TRect box = tr;
        if (title.AdjustFrame()) {
            std::int32_t widest = 0;
            for (const auto& line : title.Text())
                widest = std::max(widest, Canvas_.TextWidth(line));
            const std::int32_t bw = widest + wWidth + 2 * f;
            if (bw < box.Width()) {
                switch (title.Alignment()) {
                case TAlignment::taLeftJustify:
                    box.Right = box.Left + bw;
                    break;
                case TAlignment::taRightJustify:
                    box.Left = box.Right - bw;
                    break;
                case TAlignment::taCenter:
                    box.Left = (tr.Left + tr.Right) / 2 - bw / 2;
                    box.Right = box.Left + bw;
                    break;
                }
            }
        }
        if (f > 0) {
            Canvas_.AssignPen(framePen);
        } else {
            Canvas_.SetPen(clBlack, 1, TPenStyle::psClear);
        }
        Canvas_.Rectangle(box);
    }

    Canvas_.SetBkMode(TBkMode::bkTransparent);
    Canvas_.SetTextAlign(THorizTextAlign::taLeft, TVertTextAlign::taTop);
    for (std::int32_t i = 0; i < lines; ++i) {
        const std::string& line = title.Text()[static_cast<std::size_t>(i)];
        const std::int32_t y = textTop + i * h;
        std::int32_t x = 0;
        switch (title.Alignment()) {
        case TAlignment::taLeftJustify:
            x = innerLeft + wWidth / 2;
            break;
        case TAlignment::taRightJustify:
            x = innerRight - Canvas_.TextWidth(line) - wWidth / 2;
            break;
        case TAlignment::taCenter:
            x = (innerLeft + innerRight) / 2 - Canvas_.TextWidth(line) / 2;
            break;
        }
        Canvas_.TextOut(x, y, line);
    }

    const std::int32_t used = f + lines * h + f + TitleSpacing;
    TRect next = cr;
    if (foot) {
        next.Bottom -= used;
    } else {
        next.Top += used;
    }
    SetChartRect(next);
}

// --- back wall ----------------------------------------------------------------------------------

void TCustomChart::DrawBackWall()
{
    Canvas_.AssignPen(BackWall_.Pen());
    const TChartBrush& brush = BackWall_.Brush();
    if (BackWall_.Color() == clDefault && brush.Style() == TBrushStyle::bsSolid) {
        Canvas_.SetBrush(Canvas_.Brush().Color, TBrushStyle::bsClear);
    } else {
        // The wall's colour, or the brush's own when the wall has none.
        const TColor c = BackWall_.Color() != clDefault ? BackWall_.Color() : brush.Color();
        Canvas_.SetBrush(c, brush.Style());
        if (brush.Style() != TBrushStyle::bsSolid && brush.Style() != TBrushStyle::bsClear) {
            Canvas_.SetBkMode(TBkMode::bkOpaque);
            Canvas_.SetBkColor(c);
        }
    }
    const TRect& cr = ChartRect();
    Canvas_.Rectangle(TRect{cr.Left, cr.Top, cr.Right + 1, cr.Bottom + 1});
}

// --- axes ---------------------------------------------------------------------------------------

void TCustomChart::DrawAxes()
{
    const auto& axes = AxesList();
    for (std::size_t i = 0; i < axes.size(); ++i) {
        Ticks_[i].Clear();
        TCustomChartAxis* axis = axes[i];
        // The depth axis belongs to the 3-D view, which this chart does not draw.
        if (!axis || axis == DepthAxis() || !IsAxisVisible(*axis))
            continue;
        PaintAxis(*axis, Canvas_, Ticks_[i]);
    }
}

// --- series -------------------------------------------------------------------------------------

TRect TCustomChart::SeriesClipRect() const
{
    const TRect& cr = ChartRect();
    return TRect{cr.Left + 1, cr.Top + 1, cr.Right, cr.Bottom - 1};
}

void TCustomChart::DrawSeries(TChartSeries& series)
{
    series.FindVisibleRange();
    if (series.VisibleFirst == -1)
        return;
    if (series.BeforeDrawValues)
        series.BeforeDrawValues(&series);
    const bool clip = ClipPoints();
    if (clip)
        Canvas_.ClipRectangle(SeriesClipRect());
    if (auto* fast = dynamic_cast<TFastLineSeries*>(&series))
        DrawFastLineValues(*fast, Canvas_);
    if (clip)
        Canvas_.UnClipRectangle();
    if (series.AfterDrawValues)
        series.AfterDrawValues(&series);
}

void TCustomChart::DrawNewValueNow(TChartSeries& series, std::int32_t index)
{
    auto* fast = dynamic_cast<TFastLineSeries*>(&series);
    // An image behind what is shown cannot take a segment: a full draw shows the value.
    if (fast && Canvas_.ImageBehind() && !Canvas_.Drawing()) {
        Invalidate();
        return;
    }
    // Without a clean image the next full draw shows the value anyway.
    if (!fast || !Canvas_.Image() || Canvas_.ImageDirty || Canvas_.Drawing() || index < 0 ||
        index >= series.PointCount()) {
        return;
    }
    if (!Canvas_.BeginImageUpdate())
        return;
    try {
        PrepareFastLinePen(*fast, Canvas_);
        // Kept inside the plot like a full draw, so the segment cannot paint over the frame.
        if (ClipPoints())
            Canvas_.ClipRectangle(SeriesClipRect());
        const std::int32_t from = index > 0 ? index - 1 : 0;
        Canvas_.MoveTo(fast->PointPixelX(from), fast->PointPixelY(from));
        const std::int32_t x = fast->PointPixelX(index);
        const std::int32_t y = fast->PointPixelY(index);
        Canvas_.LineTo(x, y);
        fast->LastX = x;
        fast->LastY = y;
    } catch (...) {
        Canvas_.EndImageUpdate();
        throw;
    }
    Canvas_.EndImageUpdate();
    // Show the image as it now is, without a full draw.
    if (OnRequestRepaint)
        OnRequestRepaint();
}

// --- zoom rectangle ------------------------------------------------------------------------------

void TCustomChart::DrawZoomRectangle(const TRect& r)
{
    TColor pen = Canvas_.ColorToRGB(Color());
    if (pen == clWhite)
        pen = clBlack;
    Canvas_.SetPen(pen, 1, TPenStyle::psSolid, TPenMode::pmNotXor);
    Canvas_.SetBrush(Canvas_.Brush().Color, TBrushStyle::bsClear);
    Canvas_.Rectangle(TRect{std::min(r.Left, r.Right), std::min(r.Top, r.Bottom),
                            std::max(r.Left, r.Right), std::max(r.Top, r.Bottom)});
}

} // namespace rv
