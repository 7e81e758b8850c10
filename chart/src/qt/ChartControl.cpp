#include "rangeview/chart/qt/ChartControl.h"

#include <QEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QRegion>
#include <QTransform>
#include <QWheelEvent>
#include <QtGlobal>

#include <cmath>
#include <optional>
#include <stdexcept>

#include "Canvas3D.h"
#include "rangeview/chart/ChartSetup.h"
#include "rangeview/chart/qt/ChartInteraction.h"
#include "rangeview/chart/qt/QtSurfaceImage.h"

namespace rv {

namespace {
// The chart's image holds device pixels: drawn for a target of another ratio, it is made again.
void MatchImageRatio(TCanvas3D& canvas, qreal ratio)
{
    if (auto* image = dynamic_cast<QtSurfaceImage*>(canvas.Image());
        image && image->Image().devicePixelRatio() != ratio) {
        canvas.FreeImage();
        canvas.ImageDirty = true;
    }
}

// The pixels of the widget's whole rectangle in the image the painter paints into (the window's
// backing store), when a chart drawn there comes out as in an image of its own: whole device
// pixels at the same ratio, 32 bits each, and the paint covers every one of them (the pixels
// outside its region may lie under other widgets).
std::optional<QtSurface::Pixels> StorePixels(QPainter& painter, const QRegion& region,
                                             const QRect& rect, qreal ratio)
{
    if (!(QRegion(rect) - region).isEmpty())
        return std::nullopt;
    QPaintEngine* engine = painter.paintEngine();
    QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image)
        return std::nullopt;
    const auto* store = static_cast<const QImage*>(device);
    const QTransform t = painter.deviceTransform();
    if (t.type() > QTransform::TxScale || t.m11() != ratio || t.m22() != ratio ||
        store->devicePixelRatio() != ratio || store->depth() != 32) {
        return std::nullopt;
    }
    const qreal x = t.dx();
    const qreal y = t.dy();
    const qreal w = rect.width() * ratio;
    const qreal h = rect.height() * ratio;
    if (x != std::floor(x) || y != std::floor(y) || w != std::floor(w) || h != std::floor(h))
        return std::nullopt;
    const QRect area(static_cast<int>(x), static_cast<int>(y), static_cast<int>(w),
                     static_cast<int>(h));
    if (area.isEmpty() || !store->rect().contains(area))
        return std::nullopt;
    QtSurface::Pixels pixels;
    // The painter made the store's pixels its own when it began (a copy would have been taken
    // then), so these are the ones it paints.
    pixels.Bits =
        const_cast<uchar*>(store->constBits()) + area.y() * store->bytesPerLine() + area.x() * 4;
    pixels.Size = area.size();
    pixels.BytesPerLine = store->bytesPerLine();
    pixels.Format = store->format();
    pixels.Ratio = ratio;
    return pixels;
}
} // namespace

ChartControl::ChartControl(QWidget* parent)
    : QWidget(parent), Chart_(std::make_unique<TChart>()), OwnSurface_(&palette())
{
    // The paint covers every pixel: no background erase, no flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    Chart_->Canvas().SetOwnSurface(&OwnSurface_);
    Chart_->OnRequestRepaint = [this] { ScheduleUpdate(); };
    Chart_->OnRepaintNow = [this] { repaint(); };
    Chart_->SetSize(width(), height());
    DeferredRepaint_.setSingleShot(true);
    connect(&DeferredRepaint_, &QTimer::timeout, this, [this] { update(); });
    UpdateFormatSettings();
}

ChartControl::~ChartControl()
{
    // The chart may call back into the widget while it tears down; cut the ties first.
    Chart_->OnRequestRepaint = nullptr;
    Chart_->OnRepaintNow = nullptr;
    Chart_->Canvas().SetOwnSurface(nullptr);
}

void ChartControl::UpdateFormatSettings()
{
    const QLocale locale = QLocale::system();
    Chart_->FormatSettings.DecimalSeparator = locale.decimalPoint().toStdString();
    Chart_->FormatSettings.ThousandSeparator = locale.groupSeparator().toStdString();
    Chart_->Invalidate();
}

void ChartControl::RequestRepaint()
{
    Chart_->Invalidate();
}

void ChartControl::RepaintNow()
{
    Chart_->Repaint();
}

// Data can ask for a repaint a thousand times a second while a full draw takes about a
// millisecond; nobody sees more than ~60 pictures a second, so a request soon after a full draw
// waits for one timer instead. The image is marked dirty at once all the same, so any paint
// in between (an uncover) draws the current state; the deferred update always follows.
// Synchronous repaints (the zoom animation) do not come here.
void ChartControl::ScheduleUpdate()
{
    if (DeferredRepaint_.isActive())
        return;
    if (MinRepaintInterval_ > 0 && SinceFullDraw_.isValid()) {
        const qint64 since = SinceFullDraw_.elapsed();
        if (since < MinRepaintInterval_) {
            DeferredRepaint_.start(static_cast<int>(MinRepaintInterval_ - since));
            return;
        }
    }
    update();
}

void ChartControl::DrawZoomRectangleOnWindow(const TRect& r)
{
    TCanvas3D& canvas = Chart_->Canvas();
    if (!canvas.BeginImageUpdate())
        return;
    Guard([&] { Chart_->DrawZoomRectangle(r); });
    canvas.EndImageUpdate();
    // The image is the window's content: showing it is a copy, not a redraw.
    update();
}

QImage ChartControl::ImageSnapshot()
{
    if (Chart_->Canvas().ImageBehind())
        return RenderChart(*this, devicePixelRatioF());
    auto* image = dynamic_cast<QtSurfaceImage*>(Chart_->Canvas().Image());
    return image ? image->Image().copy() : QImage();
}

void ChartControl::Report(std::exception_ptr error)
{
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

template <class F>
void ChartControl::Guard(F&& f)
{
    try {
        f();
    } catch (...) {
        Report(std::current_exception());
    }
}

void ChartControl::paintEvent(QPaintEvent* event)
{
    MatchImageRatio(Chart_->Canvas(), devicePixelRatioF());
    QPainter painter(this);
    OwnSurface_.Attach(&painter);
    const std::int64_t draws = Chart_->FullDrawCount();
    const std::int64_t changes = Chart_->RepaintRequestCount() + Chart_->RepaintNowCount();
    // A chart that changes from one picture to the next (a stream) is drawn straight into the
    // window's backing store: a copy of the whole image less per picture. Once it holds still,
    // the next picture goes into the image again, which the paints that change nothing copy.
    if (LastPaintDrew_ && changes != ChangesAtDraw_) {
        if (const auto pixels = StorePixels(painter, event->region(), rect(), devicePixelRatioF()))
            OwnSurface_.OfferPixels(*pixels);
    }
    Guard([&] { Chart_->PaintHandler(); });
    OwnSurface_.Detach();
    LastPaintDrew_ = Chart_->FullDrawCount() != draws;
    if (LastPaintDrew_) {
        SinceFullDraw_.start();
        ChangesAtDraw_ = changes;
    }
}

void ChartControl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Chart_->SetSize(width(), height());
}

void ChartControl::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (MouseHandler_)
        Guard([&] { MouseHandler_->ChartMousePress(*event); });
}

void ChartControl::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    if (MouseHandler_)
        Guard([&] { MouseHandler_->ChartMouseMove(*event); });
}

void ChartControl::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (MouseHandler_)
        Guard([&] { MouseHandler_->ChartMouseRelease(*event); });
}

void ChartControl::wheelEvent(QWheelEvent* event)
{
    event->accept();
    if (MouseHandler_)
        Guard([&] { MouseHandler_->ChartWheel(*event); });
}

void ChartControl::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (MouseHandler_)
        Guard([&] { MouseHandler_->ChartMouseLeave(); });
}

void ChartControl::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    switch (event->type()) {
    case QEvent::PaletteChange:
        Chart_->Invalidate();
        break;
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::ThemeChange:
        QtSurface::ForgetRenderedText();
        Chart_->Invalidate();
        break;
    case QEvent::LocaleChange:
        UpdateFormatSettings();
        break;
    default:
        break;
    }
}

ChartControl* CreateChart1(QWidget* parent)
{
    auto* control = new ChartControl(parent);
    control->setObjectName(QStringLiteral("Chart1"));
    control->setGeometry(0, 336, Chart1Width, Chart1Height);
    control->SetSeries1(ConfigureChart1(control->Chart()));
    AttachChartInteraction(*control);
    // The configuration set the chart's size; the widget's own size rules from here on.
    control->Chart().SetSize(control->width(), control->height());
    return control;
}

QImage RenderChart(ChartControl& control, qreal ratio)
{
    TChart& chart = control.Chart();
    MatchImageRatio(chart.Canvas(), ratio);
    QtSurfaceImage target(chart.Width(), chart.Height(), &control.palette(), ratio);
    chart.Draw(target.Surface(), TRect{0, 0, chart.Width(), chart.Height()});
    return target.Image().copy();
}

} // namespace rv
