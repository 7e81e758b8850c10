#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <exception>
#include <functional>
#include <memory>
#include <utility>

#include "rangeview/chart/Chart.h"
#include "rangeview/chart/Series.h"
#include "rangeview/chart/qt/QtSurface.h"

class QMouseEvent;
class QWheelEvent;

namespace rv {

// Receives the chart control's mouse input; the zoom and pan handling plugs in here.
// Handlers run on the window thread; an exception they throw goes to ChartControl::OnError.
class ChartMouseHandler {
public:
    virtual ~ChartMouseHandler() = default;
    virtual void ChartMousePress(QMouseEvent& event) { (void)event; }
    virtual void ChartMouseMove(QMouseEvent& event) { (void)event; }
    virtual void ChartMouseRelease(QMouseEvent& event) { (void)event; }
    virtual void ChartWheel(QWheelEvent& event) { (void)event; }
    virtual void ChartMouseLeave() { }
};

// The widget hosting a TChart: paints from the chart's off-screen image (a full draw only when
// the image is dirty), never erases its background, resolves system colours through its
// palette and formats labels with the system locale's separators.
class ChartControl : public QWidget {
    Q_OBJECT

public:
    explicit ChartControl(QWidget* parent = nullptr);
    ~ChartControl() override;

    TChart& Chart() { return *Chart_; }
    const TChart& Chart() const { return *Chart_; }
    // The series the configuration created (null until set).
    TFastLineSeries* Series1() const { return Series1_; }
    void SetSeries1(TFastLineSeries* series) { Series1_ = series; }

    // Image dirty + an asynchronous paint (at most one full draw per MinRepaintInterval).
    void RequestRepaint();
    // Image dirty + a paint right now.
    void RepaintNow();
    // Rubber band straight onto the shown image (not-xor: a second call erases it), then a
    // paint that only copies the image. Nothing when no image exists yet.
    void DrawZoomRectangleOnWindow(const TRect& r);

    // Not owned; null: mouse input is ignored.
    void SetMouseHandler(ChartMouseHandler* handler) { MouseHandler_ = handler; }
    ChartMouseHandler* MouseHandler() const { return MouseHandler_; }
    // Same, and the control keeps the handler until it goes (before its chart).
    void AdoptMouseHandler(std::unique_ptr<ChartMouseHandler> handler)
    {
        MouseHandler_ = handler.get();
        OwnedMouseHandler_ = std::move(handler);
    }

    // Exceptions raised while painting or in the mouse handler end up here (never in the
    // event loop). Unset: a warning on the log.
    std::function<void(std::exception_ptr)> OnError;

    // Shortest time between the end of a full draw and the paint an asynchronous request asks
    // for; a request within it is held back until it has passed. 0: no holding back.
    static constexpr int DefaultMinRepaintInterval = 16;
    void SetMinRepaintInterval(int ms) { MinRepaintInterval_ = ms < 0 ? 0 : ms; }
    int MinRepaintInterval() const { return MinRepaintInterval_; }
    // A request is being held back.
    bool RepaintDeferred() const { return DeferredRepaint_.isActive(); }

    // The chart's picture as last drawn (null image before the first draw).
    QImage ImageSnapshot();
    // Takes the separators from the system locale.
    void UpdateFormatSettings();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ScheduleUpdate();
    void Report(std::exception_ptr error);
    template <class F>
    void Guard(F&& f);

    std::unique_ptr<TChart> Chart_;
    QtSurface OwnSurface_;
    TFastLineSeries* Series1_ = nullptr;
    ChartMouseHandler* MouseHandler_ = nullptr;
    int MinRepaintInterval_ = DefaultMinRepaintInterval;
    QElapsedTimer SinceFullDraw_; // invalid until the first full draw
    bool LastPaintDrew_ = false; // the latest paint was a full draw
    std::int64_t ChangesAtDraw_ = -1; // the chart's repaint requests when it was
    QTimer DeferredRepaint_;
    // Declared after Chart_ so it is destroyed first.
    std::unique_ptr<ChartMouseHandler> OwnedMouseHandler_;
};

// Chart1 as the main window has it: object name "Chart1", at (0, 336), 953 x 313, set up by
// ConfigureChart1 (gradient, margins, title, bevels, walls, axes) with its one series Series1.
ChartControl* CreateChart1(QWidget* parent);

// Renders the control's chart with a full draw into a new image of the control's size, with
// `ratio` device pixels per pixel.
QImage RenderChart(ChartControl& control, qreal ratio = 1.0);

} // namespace rv
