#include "rangeview/chart/ZoomPan.h"

#include "Canvas3D.h"

#include <cstdlib>
#include <utility>

namespace rv {

void TZoomPanningRecord::Check()
{
    if (X1 < X0)
        std::swap(X0, X1);
    if (Y1 < Y0)
        std::swap(Y0, Y1);
}

namespace {

// Beyond this many pixels in both directions a left drag counts.
constexpr std::int32_t ZoomThreshold = 16;

bool KeysHeld(TShiftState shift, TShiftState required)
{
    return (shift & required) == required;
}

} // namespace

// The chart's question for the band, tagged with its owner so that only the owner unhooks it.
struct TZoomPanInteraction::BandQuery {
    TZoomPanInteraction* Owner;
    bool operator()(TRect& r) const
    {
        if (!Owner->Zoom.Active)
            return false;
        r = Owner->Zoom.Rect();
        return true;
    }
};

TZoomPanInteraction::TZoomPanInteraction(TCustomChart& chart, IZoomPanWindow* window)
    : Chart_(chart), Window_(window)
{
    // A full draw during a zoom drag ends with the band, so the next not-xor draw on the window
    // still erases it.
    Chart_.ActiveZoomRectangle = BandQuery{this};
}

TZoomPanInteraction::~TZoomPanInteraction()
{
    const BandQuery* q = Chart_.ActiveZoomRectangle.target<BandQuery>();
    if (q && q->Owner == this)
        Chart_.ActiveZoomRectangle = nullptr;
}

std::array<TCustomChartAxis*, 4> TZoomPanInteraction::ScaleAxes() const
{
    return {Chart_.TopAxis(), Chart_.BottomAxis(), Chart_.LeftAxis(), Chart_.RightAxis()};
}

void TZoomPanInteraction::SetCursor(TCursor cursor)
{
    if (Window_)
        Window_->SetCursor(cursor);
}

void TZoomPanInteraction::DrawBand()
{
    if (Window_)
        Window_->DrawZoomRectangleOnWindow(Zoom.Rect());
}

TChartClickedPart TZoomPanInteraction::CalcClickedPart(std::int32_t X, std::int32_t Y) const
{
    TChartClickedPart part;
    const auto& series = Chart_.SeriesList();
    for (auto it = series.rbegin(); it != series.rend(); ++it) {
        TChartSeries* s = *it;
        if (!s->Active())
            continue;
        const std::int32_t index = s->Clicked(X, Y);
        if (index != -1) {
            part.Part = TChartClickedPartStyle::cpSeries;
            part.ASeries = s;
            part.PointIndex = index;
            return part;
        }
    }
    for (TCustomChartAxis* axis : Chart_.AxesList()) {
        if (axis->HitTest(X, Y)) {
            part.Part = TChartClickedPartStyle::cpAxis;
            part.AAxis = axis;
            return part;
        }
    }
    if (Chart_.Title().Visible() && Chart_.Title().TitleRect.Contains(X, Y)) {
        part.Part = TChartClickedPartStyle::cpTitle;
        return part;
    }
    if (Chart_.Foot().TitleRect.Contains(X, Y)) {
        part.Part = TChartClickedPartStyle::cpFoot;
        return part;
    }
    if (Chart_.ChartRect().Contains(X, Y) && Chart_.HasActiveSeries()) {
        part.Part = TChartClickedPartStyle::cpChartRect;
        return part;
    }
    // The legend would come here; this chart never draws one.
    return part;
}

void TZoomPanInteraction::MouseDown(TMouseButton Button, TShiftState Shift, std::int32_t X,
                                    std::int32_t Y)
{
    if (Zoom.Active || Panning.Active)
        return;
    if (CancelMouse) {
        CancelMouse = false;
        return;
    }
    const TChartClickedPart part = CalcClickedPart(X, Y);
    switch (part.Part) {
    case TChartClickedPartStyle::cpSeries: {
        TChartSeries* s = part.ASeries;
        const auto& handler = (Shift & ssDouble) ? s->OnDblClick : s->OnClick;
        if (handler)
            handler(s, part.PointIndex);
        break;
    }
    case TChartClickedPartStyle::cpAxis:
        if (OnClickAxis)
            OnClickAxis(&Chart_, part.AAxis, Button, Shift, X, Y);
        break;
    case TChartClickedPartStyle::cpChartRect:
        if (OnClickBackground)
            OnClickBackground(&Chart_, Button, Shift, X, Y);
        break;
    default:
        return;
    }
    if (!CancelMouse) {
        if (Chart_.AllowZoom && Button == Settings.ZoomMouseButton &&
            KeysHeld(Shift, Settings.ZoomKeys)) {
            SetCursor(crDefault);
            Zoom.Activate(X, Y);
            DrawBand();
        }
        // A button that both zooms and pans would start both; with the fixed settings it never does.
        if (Chart_.AllowPanning != TPanningMode::pmNone && Button == Settings.PanMouseButton &&
            KeysHeld(Shift, Settings.PanKeys)) {
            SetCursor(crDefault);
            Panning.Activate(X, Y);
        }
    }
    CancelMouse = false;
}

void TZoomPanInteraction::MouseMove(TShiftState, std::int32_t X, std::int32_t Y)
{
    if (Zoom.Active) {
        if (X == Zoom.X1 && Y == Zoom.Y1)
            return;
        DrawBand();
        Zoom.X1 = X;
        Zoom.Y1 = Y;
        DrawBand();
        return;
    }
    if (Panning.Active) {
        if (!Chart_.ChartRect().Contains(X, Y)) {
            Panning.Active = false;
            return;
        }
        if (X == Panning.X1 && Y == Panning.Y1)
            return;
        if (Restored_)
            SaveScales();
        bool moved = false;
        if (Panning.X1 != X)
            moved |= PanAxes(true, Panning.X1, X);
        if (Panning.Y1 != Y)
            moved |= PanAxes(false, Panning.Y1, Y);
        Panning.X1 = X;
        Panning.Y1 = Y;
        if (moved) {
            if (OnScroll)
                OnScroll(&Chart_);
            Chart_.Invalidate();
        }
        return;
    }
    // Only series with a cursor of their own are hit-tested, so an idle move costs nothing
    // with the default cursor.
    const auto& series = Chart_.SeriesList();
    for (auto it = series.rbegin(); it != series.rend(); ++it) {
        TChartSeries* s = *it;
        if (s->Active() && s->Cursor != crDefault && s->Clicked(X, Y) != -1) {
            SetCursor(s->Cursor);
            return;
        }
    }
    SetCursor(OriginalCursor);
}

bool TZoomPanInteraction::PanAxes(bool horizontal, std::int32_t p, std::int32_t q)
{
    const TPanningMode own = horizontal ? TPanningMode::pmHorizontal : TPanningMode::pmVertical;
    if (Chart_.AllowPanning != own && Chart_.AllowPanning != TPanningMode::pmBoth)
        return false;
    for (TCustomChartAxis* axis : Chart_.AxesList()) {
        if (axis == Chart_.DepthAxis() || axis->IsHorizontal != horizontal)
            continue;
        const double delta = axis->PixelToValue(p) - axis->PixelToValue(q);
        double newMin = axis->Minimum() + delta;
        double newMax = axis->Maximum() + delta;
        bool allow = true;
        if (OnAllowScroll)
            OnAllowScroll(axis, newMin, newMax, allow);
        if (allow)
            axis->SetRange(newMin, newMax);
    }
    return true;
}

void TZoomPanInteraction::MouseUp(TMouseButton Button, TShiftState, std::int32_t X, std::int32_t Y)
{
    // Any release ends a pan. Done first (a pan and a zoom never run together) so that a
    // throwing zoom handler cannot leave a pan behind.
    Panning.Active = false;
    if (Zoom.Active && Button == Settings.ZoomMouseButton) {
        Zoom.Active = false;
        DrawBand();
        TPenData pen = Chart_.Canvas().Pen();
        pen.Mode = TPenMode::pmCopy;
        Chart_.Canvas().SetPen(pen);
        Zoom.X1 = X;
        Zoom.Y1 = Y;
        // Compared in 64 bits: coordinates from a grabbed mouse may be anywhere.
        const std::int64_t dx = std::int64_t{X} - Zoom.X0;
        const std::int64_t dy = std::int64_t{Y} - Zoom.Y0;
        if (std::llabs(dx) > ZoomThreshold && std::llabs(dy) > ZoomThreshold) {
            if (dx > 0 && dy > 0)
                ZoomRect();
            else
                UndoZoom();
            Chart_.Invalidate();
        }
    }
}

void TZoomPanInteraction::ZoomRect()
{
    Zoom.Check();
    TChartAxis* left = Chart_.LeftAxis();
    TChartAxis* right = Chart_.RightAxis();
    TChartAxis* top = Chart_.TopAxis();
    TChartAxis* bottom = Chart_.BottomAxis();
    struct Target {
        TCustomChartAxis* Axis;
        double Min;
        double Max;
    };
    // Animation and final step both go left, right, top, bottom.
    const std::array<Target, 4> targets{{
        {left, left->PixelToValue(Zoom.Y1), left->PixelToValue(Zoom.Y0)},
        {right, right->PixelToValue(Zoom.Y1), right->PixelToValue(Zoom.Y0)},
        {top, top->PixelToValue(Zoom.X0), top->PixelToValue(Zoom.X1)},
        {bottom, bottom->PixelToValue(Zoom.X0), bottom->PixelToValue(Zoom.X1)},
    }};
    if (Restored_)
        SaveScales();
    if (Chart_.AnimatedZoom) {
        const double factor = Settings.AnimatedZoomFactor;
        for (std::int32_t step = 1; step < Chart_.AnimatedZoomSteps; ++step) {
            for (const Target& t : targets) {
                const double lo = t.Axis->Minimum();
                const double hi = t.Axis->Maximum();
                t.Axis->SetRange(lo + (t.Min - lo) / factor, hi - (hi - t.Max) / factor);
            }
            Chart_.Repaint();
        }
    }
    for (const Target& t : targets)
        t.Axis->SetRange(t.Min, t.Max);
    if (OnZoom)
        OnZoom(&Chart_);
}

void TZoomPanInteraction::UndoZoom()
{
    if (!Restored_) {
        const auto axes = ScaleAxes();
        for (std::size_t i = 0; i < axes.size(); ++i) {
            TCustomChartAxis* axis = axes[i];
            const TAxisSavedScales& s = Saved_[i];
            axis->SetAutomatic(s.Automatic);
            axis->SetAutomaticMinimum(s.AutomaticMinimum);
            axis->SetAutomaticMaximum(s.AutomaticMaximum);
            if (!axis->Automatic()) {
                axis->SetRange(s.Minimum, s.Maximum);
                // SetRange clears both partial flags; an axis automatic at one end only
                // gets that end back.
                if (s.AutomaticMinimum)
                    axis->SetAutomaticMinimum(true);
                if (s.AutomaticMaximum)
                    axis->SetAutomaticMaximum(true);
            }
        }
    }
    Restored_ = true;
    if (OnUndoZoom)
        OnUndoZoom(&Chart_);
    Chart_.Invalidate();
}

void TZoomPanInteraction::SaveScales()
{
    const auto axes = ScaleAxes();
    for (std::size_t i = 0; i < axes.size(); ++i) {
        const TCustomChartAxis* axis = axes[i];
        Saved_[i] = TAxisSavedScales{axis->Automatic(), axis->AutomaticMinimum(),
                                     axis->AutomaticMaximum(), axis->Minimum(), axis->Maximum()};
    }
    Restored_ = false;
}

void TZoomPanInteraction::MouseWheel(std::int32_t NotchesDown)
{
    const bool down = NotchesDown > 0;
    const std::int64_t count = down ? std::int64_t{NotchesDown} : -std::int64_t{NotchesDown};
    for (std::int64_t n = 0; n < count; ++n) {
        for (TCustomChartAxis* axis : Chart_.AxesList()) {
            if (axis->IsHorizontal)
                continue;
            const double d = (axis->Maximum() - axis->Minimum()) * 3 * 0.01;
            axis->ScrollBy(down ? d : -d, false);
        }
    }
}

void TZoomPanInteraction::MouseLeave()
{
    SetCursor(OriginalCursor);
    Panning.Active = false;
}

} // namespace rv
