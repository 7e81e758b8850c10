// Painting cost of Chart1: a full draw with 200 visible points, the same over 10 million stored
// points, the same on a scaled screen (device pixels per chart pixel x 100: 125, 150, 200), and a
// repaint of a clean image (one block copy). Offscreen Qt platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QtGlobal>

#include <cmath>
#include <memory>

#include "Canvas3D.h"
#include "rangeview/chart/qt/ChartControl.h"
#include "rangeview/chart/qt/QtSurface.h"
#include "rangeview/chart/qt/QtSurfaceImage.h"

namespace {

QApplication& App()
{
    static int argc = 1;
    static char name[] = "chart_paint_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Chart1 painting onto an image that stands in for the window (of that device ratio).
struct Fixture {
    explicit Fixture(std::int64_t points, qreal ratio = 1.0)
    {
        App();
        control.reset(rv::CreateChart1(nullptr));
        window = std::make_unique<rv::QtSurfaceImage>(953, 313, &control->palette(), ratio);
        rv::TChart& chart = control->Chart();
        chart.Canvas().SetOwnSurface(&window->Surface());
        rv::TFastLineSeries* s = control->Series1();
        for (std::int64_t i = 0; i < points; ++i) {
            s->AddPoint(static_cast<double>(i),
                        35.0 + 3.0 * std::sin(static_cast<double>(i) * 0.08), "",
                        rv::UseSeriesColor);
        }
        const double last = static_cast<double>(std::max<std::int64_t>(points - 1, 199));
        chart.BottomAxis()->SetRange(last - 199.0, last);
        chart.LeftAxis()->SetRange(31.0, 39.0);
        chart.PaintHandler();
    }
    ~Fixture() { control->Chart().Canvas().SetOwnSurface(nullptr); }

    std::unique_ptr<rv::ChartControl> control;
    std::unique_ptr<rv::QtSurfaceImage> window;
};

void FullDraw(benchmark::State& state, Fixture& f)
{
    rv::TChart& chart = f.control->Chart();
    for (auto _ : state) {
        chart.Invalidate();
        chart.PaintHandler();
        // The window's pixels are really written.
        benchmark::DoNotOptimize(f.window->Image().constBits());
    }
    state.counters["visible"] = static_cast<double>(f.control->Series1()->VisibleLast -
                                                    f.control->Series1()->VisibleFirst + 1);
}

void BM_FullDraw_Chart1_200Points(benchmark::State& state)
{
    Fixture f(200);
    FullDraw(state, f);
}
BENCHMARK(BM_FullDraw_Chart1_200Points)->Unit(benchmark::kMicrosecond);

void BM_FullDraw_Chart1_200Points_Scaled(benchmark::State& state)
{
    Fixture f(200, static_cast<qreal>(state.range(0)) / 1000.0);
    FullDraw(state, f);
}
// 1.375: the scale a 200 % screen of 1920 x 1080 falls to, so that the window fits.
BENCHMARK(BM_FullDraw_Chart1_200Points_Scaled)
    ->ArgName("ratio_x1000")
    ->Arg(1000)
    ->Arg(1250)
    ->Arg(1375)
    ->Arg(1500)
    ->Arg(2000)
    ->Unit(benchmark::kMicrosecond);

void BM_FullDraw_Chart1_10MStoredLast200(benchmark::State& state)
{
    static Fixture f(10'000'000);
    FullDraw(state, f);
}
BENCHMARK(BM_FullDraw_Chart1_10MStoredLast200)->Unit(benchmark::kMicrosecond);

void BM_CleanRepaint_ImageCopy(benchmark::State& state)
{
    Fixture f(200);
    rv::TChart& chart = f.control->Chart();
    const auto draws = chart.FullDrawCount();
    for (auto _ : state) {
        chart.PaintHandler();
        benchmark::DoNotOptimize(f.window->Image().constBits());
    }
    if (chart.FullDrawCount() != draws)
        state.SkipWithError("a clean repaint drew the chart");
}
BENCHMARK(BM_CleanRepaint_ImageCopy)->Unit(benchmark::kMicrosecond);

} // namespace
