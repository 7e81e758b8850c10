// The waveform picture (953 x 313: gradient, title, frame, dotted grid, number labels, red
// 3-pixel line) drawn four ways, one new sample and a full redraw per frame, at 200, 2,000 and
// 20,000 visible points:
//   Floor        - drawn directly with QPainter by hand (the gradient in 256 bands), no caches,
//   QCustomPlot  - a QCustomPlot with one graph, replot(),
//   QtCharts     - a QChart with one QLineSeries, rendered through its QChartView,
//   Chart1       - the chart control, full draw into its image and the copy to the window.
// After the run the times are printed as ratios to the floor (medians when repeated).
// Offscreen Qt platform; run pinned to one core, e.g. taskset -c 1.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QImage>
#include <QLineSeries>
#include <QLinearGradient>
#include <QPainter>
#include <QValueAxis>
#include <QtGlobal>

#include <qcustomplot.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Canvas3D.h"
#include "rangeview/chart/qt/ChartControl.h"
#include "rangeview/chart/qt/QtSurface.h"
#include "rangeview/chart/qt/QtSurfaceImage.h"

namespace {

constexpr int Width = 953;
constexpr int Height = 313;
const char* const TitleText =
    "鼠标左键点击波形往左上为缩小，右下为放大；鼠标右击不放可上下左右拖动波形";
constexpr double YMin = 29.0;
constexpr double YMax = 41.0;

QApplication& App()
{
    static int argc = 1;
    static char name[] = "chart_compare_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Distance / 10 of sample i: a slow swing with some jitter, inside YMin .. YMax.
double Sample(std::int64_t i)
{
    const double jitter = static_cast<double>((i * 7919) % 23) * 0.05;
    return 34.0 + 3.0 * std::sin(static_cast<double>(i) * 0.08) + jitter;
}

QLinearGradient Background()
{
    QLinearGradient g(0, 0, 0, Height);
    g.setColorAt(0, QColor(0xCA, 0xBC, 0xB5));
    g.setColorAt(1, Qt::white);
    return g;
}

QFont TitleFont()
{
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(14);
    return f;
}

QFont LabelFont()
{
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(11);
    return f;
}

QPen LinePen()
{
    return QPen(QColor(255, 0, 0), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}
QPen GridPen()
{
    return QPen(QColor(128, 128, 128), 1, Qt::DotLine);
}

// Label step of the 1-2-5 sequence giving at most `fit` labels over `range`.
double Step(double range, int fit)
{
    double s = 1e-3;
    for (int k = 0; range / s > fit; ++k)
        s *= (k % 3 == 1) ? 2.5 : 2.0;
    return s;
}

// --- (a) the floor: the picture drawn by hand --------------------------------------------------

struct Floor {
    explicit Floor(int count) : visible(count), image(Width, Height, QImage::Format_RGB32)
    {
        for (std::int64_t i = 0; i < visible; ++i)
            values.push_back(Sample(i));
    }

    void Frame()
    {
        values.push_back(Sample(static_cast<std::int64_t>(values.size())));
        const std::int64_t last = static_cast<std::int64_t>(values.size()) - 1;
        const double x0 = static_cast<double>(last - visible + 1);
        const double x1 = static_cast<double>(last);
        QPainter p(&image);
        // The chart's gradient: 256 bands from the top colour to white at the bottom.
        for (int k = 0; k < 256; ++k) {
            const int y0 = k * Height / 256;
            const int y1 = (k + 1) * Height / 256;
            const QColor c(0xCA + (0xFF - 0xCA) * k / 255, 0xBC + (0xFF - 0xBC) * k / 255,
                           0xB5 + (0xFF - 0xB5) * k / 255);
            p.fillRect(QRect(0, y0, Width, y1 - y0), c);
        }
        p.setPen(Qt::white);
        p.drawLine(0, 0, Width - 1, 0);
        p.drawLine(0, 0, 0, Height - 1);
        p.setPen(QColor(0xA0, 0xA0, 0xA0));
        p.drawLine(Width - 1, 0, Width - 1, Height - 1);
        p.drawLine(0, Height - 1, Width - 1, Height - 1);
        p.setFont(TitleFont());
        p.setPen(Qt::black);
        p.drawText(QRect(0, 20, Width, 17), Qt::AlignHCenter | Qt::AlignTop,
                   QString::fromUtf8(TitleText));
        const QRect plot(57, 42, 862, 232);
        auto px = [&](double x) {
            return plot.left() + static_cast<int>(std::lround((x - x0) / (x1 - x0) * plot.width()));
        };
        auto py = [&](double y) {
            return plot.bottom() -
                   static_cast<int>(std::lround((y - YMin) / (YMax - YMin) * plot.height()));
        };
        p.setFont(LabelFont());
        const double xs = Step(x1 - x0, 40);
        for (double v = std::ceil(x0 / xs) * xs; v <= x1; v += xs) {
            const int x = px(v);
            p.setPen(GridPen());
            p.drawLine(x, plot.top(), x, plot.bottom());
            p.setPen(Qt::black);
            p.drawLine(x, plot.bottom() + 1, x, plot.bottom() + 5);
            p.drawText(QRect(x - 30, plot.bottom() + 6, 60, 14), Qt::AlignHCenter | Qt::AlignTop,
                       QLocale::c().toString(static_cast<qlonglong>(v)));
        }
        const double ys = Step(YMax - YMin, 16);
        for (double v = std::ceil(YMin / ys) * ys; v <= YMax; v += ys) {
            const int y = py(v);
            p.setPen(GridPen());
            p.drawLine(plot.left(), y, plot.right(), y);
            p.setPen(Qt::black);
            p.drawText(QRect(0, y - 7, plot.left() - 4, 14), Qt::AlignRight | Qt::AlignVCenter,
                       QString::number(v));
        }
        p.setPen(QPen(Qt::black, 1));
        p.drawRect(plot);
        p.setClipRect(plot.adjusted(1, 1, -1, -1));
        p.setPen(LinePen());
        points.clear();
        for (std::int64_t i = last - visible; i <= last; ++i) {
            if (i < 0)
                continue;
            points.push_back(
                QPoint(px(static_cast<double>(i)), py(values[static_cast<std::size_t>(i)])));
        }
        p.drawPolyline(points.data(), static_cast<int>(points.size()));
    }

    int visible;
    QImage image;
    std::vector<double> values;
    std::vector<QPoint> points;
};

// --- (b) QCustomPlot -------------------------------------------------------------------------

struct CustomPlot {
    explicit CustomPlot(int count) : visible(count)
    {
        plot.resize(Width, Height);
        plot.setBackground(QBrush(Background()));
        plot.setNotAntialiasedElements(QCP::aeAll);
        plot.plotLayout()->insertRow(0);
        auto* title = new QCPTextElement(&plot, QString::fromUtf8(TitleText), TitleFont());
        plot.plotLayout()->addElement(0, 0, title);
        for (QCPAxis* axis : {plot.xAxis, plot.yAxis}) {
            axis->grid()->setPen(GridPen());
            axis->grid()->setSubGridVisible(false);
            axis->setTickLabelFont(LabelFont());
            axis->setSubTicks(false);
        }
        plot.xAxis2->setVisible(true);
        plot.yAxis2->setVisible(true);
        plot.xAxis2->setTicks(false);
        plot.yAxis2->setTicks(false);
        plot.yAxis->setRange(YMin, YMax);
        graph = plot.addGraph();
        graph->setPen(LinePen());
        for (std::int64_t i = 0; i < visible; ++i)
            graph->addData(static_cast<double>(i), Sample(i));
        next = visible;
    }

    void Frame()
    {
        const auto x = static_cast<double>(next);
        graph->addData(x, Sample(next));
        ++next;
        graph->data()->removeBefore(x - visible);
        plot.xAxis->setRange(x - visible + 1, x);
        plot.replot(QCustomPlot::rpQueuedRefresh);
    }

    int visible;
    QCustomPlot plot;
    QCPGraph* graph = nullptr;
    std::int64_t next = 0;
};

// --- (c) Qt Charts -------------------------------------------------------------------------

struct Charts {
    explicit Charts(int count) : visible(count), image(Width, Height, QImage::Format_RGB32)
    {
        chart = new QChart;
        chart->legend()->hide();
        chart->setTitle(QString::fromUtf8(TitleText));
        chart->setTitleFont(TitleFont());
        chart->setBackgroundBrush(QBrush(Background()));
        chart->setBackgroundRoundness(0);
        series = new QLineSeries;
        series->setPen(LinePen());
        QList<QPointF> initial;
        for (std::int64_t i = 0; i < visible; ++i)
            initial.append(QPointF(static_cast<double>(i), Sample(i)));
        series->replace(initial);
        next = visible;
        chart->addSeries(series);
        axisX = new QValueAxis;
        axisY = new QValueAxis;
        for (QValueAxis* axis : {axisX, axisY}) {
            axis->setGridLinePen(GridPen());
            axis->setLabelsFont(LabelFont());
            axis->setMinorTickCount(0);
        }
        axisX->setLabelFormat(QStringLiteral("%d"));
        axisX->setTickCount(41);
        axisY->setTickCount(13);
        axisY->setRange(YMin, YMax);
        chart->addAxis(axisX, Qt::AlignBottom);
        chart->addAxis(axisY, Qt::AlignLeft);
        series->attachAxis(axisX);
        series->attachAxis(axisY);
        view = std::make_unique<QChartView>(chart);
        view->setRenderHint(QPainter::Antialiasing, false);
        view->resize(Width, Height);
    }

    void Frame()
    {
        const auto x = static_cast<double>(next);
        series->append(x, Sample(next));
        ++next;
        series->remove(0);
        axisX->setRange(x - visible + 1, x);
        QApplication::sendPostedEvents();
        QPainter p(&image);
        view->render(&p);
    }

    int visible;
    QImage image;
    QChart* chart = nullptr;
    QLineSeries* series = nullptr;
    QValueAxis* axisX = nullptr;
    QValueAxis* axisY = nullptr;
    std::unique_ptr<QChartView> view;
    std::int64_t next = 0;
};

// --- (d) Chart1 ------------------------------------------------------------------------------

struct Chart1 {
    explicit Chart1(int count) : visible(count)
    {
        control.reset(rv::CreateChart1(nullptr));
        window = std::make_unique<rv::QtSurfaceImage>(Width, Height, &control->palette());
        control->Chart().Canvas().SetOwnSurface(&window->Surface());
        for (std::int64_t i = 0; i < visible; ++i)
            Add();
        control->Chart().LeftAxis()->SetRange(YMin, YMax);
    }
    ~Chart1() { control->Chart().Canvas().SetOwnSurface(nullptr); }

    void Add()
    {
        rv::TFastLineSeries& s = *control->Series1();
        s.AddPoint(static_cast<double>(next), Sample(next), "", rv::UseSeriesColor);
        const auto x = static_cast<double>(next);
        ++next;
        control->Chart().BottomAxis()->SetRange(x - visible + 1, x);
    }

    void Frame()
    {
        Add();
        control->Chart().PaintHandler();
        benchmark::DoNotOptimize(window->Image().constBits());
    }

    int visible;
    std::unique_ptr<rv::ChartControl> control;
    std::unique_ptr<rv::QtSurfaceImage> window;
    std::int64_t next = 0;
};

template <class Picture>
void Measure(benchmark::State& state)
{
    App();
    Picture picture(static_cast<int>(state.range(0)));
    for (int i = 0; i < 3; ++i)
        picture.Frame(); // caches, fonts and layouts settle
    for (auto _ : state)
        picture.Frame();
    state.SetItemsProcessed(state.iterations());
}

void BM_Floor(benchmark::State& state)
{
    Measure<Floor>(state);
}
void BM_QCustomPlot(benchmark::State& state)
{
    Measure<CustomPlot>(state);
}
void BM_QtCharts(benchmark::State& state)
{
    Measure<Charts>(state);
}
void BM_Chart1(benchmark::State& state)
{
    Measure<Chart1>(state);
}

BENCHMARK(BM_Floor)->Arg(200)->Arg(2000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QCustomPlot)->Arg(200)->Arg(2000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QtCharts)->Arg(200)->Arg(2000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Chart1)->Arg(200)->Arg(2000)->Arg(20000)->Unit(benchmark::kMicrosecond);

// Console output as usual, and the times kept (median of repetitions when there are any).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median)
                continue;
            const std::string name = run.run_name.function_name;
            const std::string arg = run.run_name.args;
            auto& slot = times[arg][name];
            if (median || !slot.fromMedian)
                slot = Time{run.GetAdjustedCPUTime(), median};
        }
    }

    void PrintRatios() const
    {
        std::printf(
            "\nCPU time per frame relative to the QPainter floor (medians when repeated):\n");
        std::printf("%-10s %10s %12s %10s %8s %14s %14s\n", "visible", "Floor", "QCustomPlot",
                    "QtCharts", "Chart1", "Chart1/QCP", "Chart1/Charts");
        for (const char* arg : {"200", "2000", "20000"}) {
            const auto it = times.find(arg);
            if (it == times.end())
                continue;
            auto t = [&](const char* n) {
                const auto f = it->second.find(n);
                return f == it->second.end() ? 0.0 : f->second.value;
            };
            const double floor = t("BM_Floor");
            if (floor <= 0)
                continue;
            std::printf("%-10s %10.2f %12.2f %10.2f %8.2f %14.2f %14.2f\n", arg, 1.0,
                        t("BM_QCustomPlot") / floor, t("BM_QtCharts") / floor,
                        t("BM_Chart1") / floor,
                        t("BM_QCustomPlot") > 0 ? t("BM_Chart1") / t("BM_QCustomPlot") : 0.0,
                        t("BM_QtCharts") > 0 ? t("BM_Chart1") / t("BM_QtCharts") : 0.0);
        }
    }

private:
    struct Time {
        double value = 0;
        bool fromMedian = false;
    };
    std::map<std::string, std::map<std::string, Time>> times;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
