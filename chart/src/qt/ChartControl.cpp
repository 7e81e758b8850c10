#include "rangeview/chart/qt/ChartControl.h"

#include <QEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QtGlobal>

#include <stdexcept>

#include "Canvas3D.h"
#include "rangeview/chart/ChartSetup.h"
#include "rangeview/chart/qt/ChartInteraction.h"

namespace rv {

ChartControl::ChartControl(QWidget* parent)
    : QWidget(parent), chart_(std::make_unique<TChart>()), ownSurface_(&palette()) {
    // The paint covers every pixel: no background erase, no flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    chart_->Canvas().SetOwnSurface(&ownSurface_);
    chart_->OnRequestRepaint = [this] { ScheduleUpdate(); };
    chart_->OnRepaintNow = [this] { repaint(); };
    chart_->SetSize(width(), height());
    deferredRepaint_.setSingleShot(true);
    connect(&deferredRepaint_, &QTimer::timeout, this, [this] { update(); });
    UpdateFormatSettings();
}

ChartControl::~ChartControl() {
    // The chart may call back into the widget while it tears down; cut the ties first.
    chart_->OnRequestRepaint = nullptr;
    chart_->OnRepaintNow = nullptr;
    chart_->Canvas().SetOwnSurface(nullptr);
}

void ChartControl::UpdateFormatSettings() {
    const QLocale locale = QLocale::system();
    chart_->FormatSettings.DecimalSeparator = locale.decimalPoint().toStdString();
    chart_->FormatSettings.ThousandSeparator = locale.groupSeparator().toStdString();
    chart_->Invalidate();
}

void ChartControl::RequestRepaint() { chart_->Invalidate(); }

void ChartControl::RepaintNow() { chart_->Repaint(); }

// Data can ask for a repaint a thousand times a second while a full draw takes about a
// millisecond; nobody sees more than ~60 pictures a second, so a request soon after a full draw
// waits for one timer instead. The image is marked dirty at once all the same, so any paint
// in between (an uncover) draws the current state; the deferred update always follows.
// Synchronous repaints (the zoom animation) do not come here.
void ChartControl::ScheduleUpdate() {
    if (deferredRepaint_.isActive()) return;
    if (minRepaintInterval_ > 0 && sinceFullDraw_.isValid()) {
        const qint64 since = sinceFullDraw_.elapsed();
        if (since < minRepaintInterval_) {
            deferredRepaint_.start(static_cast<int>(minRepaintInterval_ - since));
            return;
        }
    }
    update();
}

void ChartControl::DrawZoomRectangleOnWindow(const TRect& r) {
    TCanvas3D& canvas = chart_->Canvas();
    if (!canvas.BeginImageUpdate()) return;
    Guard([&] { chart_->DrawZoomRectangle(r); });
    canvas.EndImageUpdate();
    // The image is the window's content: showing it is a copy, not a redraw.
    update();
}

QImage ChartControl::ImageSnapshot() {
    auto* image = dynamic_cast<QtSurfaceImage*>(chart_->Canvas().Image());
    return image ? image->Image().copy() : QImage();
}

void ChartControl::Report(std::exception_ptr error) {
    if (OnError) {
        try {
            OnError(error);
            return;
        } catch (...) {
            // A failing reporter must not take the event loop down either.
        }
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        qWarning("Chart1: %s", e.what());
    } catch (...) {
        qWarning("Chart1: unknown error");
    }
}

template <class F> void ChartControl::Guard(F&& f) {
    try {
        f();
    } catch (...) {
        Report(std::current_exception());
    }
}

void ChartControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    ownSurface_.Attach(&painter);
    const std::int64_t draws = chart_->FullDrawCount();
    Guard([&] { chart_->PaintHandler(); });
    ownSurface_.Detach();
    if (chart_->FullDrawCount() != draws) sinceFullDraw_.start();
}

void ChartControl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    chart_->SetSize(width(), height());
}

void ChartControl::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (mouseHandler_) Guard([&] { mouseHandler_->ChartMousePress(*event); });
}

void ChartControl::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (mouseHandler_) Guard([&] { mouseHandler_->ChartMouseMove(*event); });
}

void ChartControl::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (mouseHandler_) Guard([&] { mouseHandler_->ChartMouseRelease(*event); });
}

void ChartControl::wheelEvent(QWheelEvent* event) {
    event->accept();
    if (mouseHandler_) Guard([&] { mouseHandler_->ChartWheel(*event); });
}

void ChartControl::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (mouseHandler_) Guard([&] { mouseHandler_->ChartMouseLeave(); });
}

void ChartControl::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    switch (event->type()) {
    case QEvent::PaletteChange: chart_->Invalidate(); break;
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::ThemeChange:
        QtSurface::ForgetRenderedText();
        chart_->Invalidate();
        break;
    case QEvent::LocaleChange: UpdateFormatSettings(); break;
    default: break;
    }
}

ChartControl* CreateChart1(QWidget* parent) {
    auto* control = new ChartControl(parent);
    control->setObjectName(QStringLiteral("Chart1"));
    control->setGeometry(0, 336, Chart1Width, Chart1Height);
    control->SetSeries1(ConfigureChart1(control->Chart()));
    AttachChartInteraction(*control);
    // The configuration set the chart's size; the widget's own size rules from here on.
    control->Chart().SetSize(control->width(), control->height());
    return control;
}

QImage RenderChart(ChartControl& control) {
    TChart& chart = control.Chart();
    QtSurfaceImage target(chart.Width(), chart.Height(), &control.palette());
    chart.Draw(target.Surface(), TRect{0, 0, chart.Width(), chart.Height()});
    return target.Image().copy();
}

} // namespace rv
