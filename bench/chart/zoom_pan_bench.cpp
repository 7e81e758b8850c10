// Mouse handling costs of the waveform chart: none of them may grow with the stored points.
// An idle move over Series1 (default cursor), a pan step and a rubber band step, each with a
// short and a long series behind a 200-point window.
#include <benchmark/benchmark.h>

#include <memory>

#include "Canvas3D.h"
#include "rangeview/chart/ChartSetup.h"
#include "rangeview/chart/RecordingSurface.h"
#include "rangeview/chart/ZoomPan.h"

namespace {

struct NullWindow : rv::IZoomPanWindow {
    void DrawZoomRectangleOnWindow(const rv::TRect& r) override { benchmark::DoNotOptimize(r); }
    void SetCursor(rv::TCursor c) override { benchmark::DoNotOptimize(c); }
};

// Chart1 holding `count` points, showing the last 200, laid out by one full draw.
struct Setup {
    explicit Setup(std::int32_t count)
    {
        series = rv::ConfigureChart1(chart);
        surface.RecordStateChanges = false;
        chart.Canvas().SetOwnSurface(&surface);
        for (std::int32_t i = 0; i < count; ++i)
            series->AddPoint(i, (i * 37) % 400 / 10.0, "", rv::UseSeriesColor);
        chart.BottomAxis()->SetRange(count - 200, count - 1);
        chart.LeftAxis()->SetRange(0, 40);
        chart.PaintHandler();
        surface.ClearRecords();
        zp = std::make_unique<rv::TZoomPanInteraction>(chart, &window);
    }
    rv::TRecordingSurface surface;
    rv::TChart chart;
    rv::TFastLineSeries* series = nullptr;
    NullWindow window;
    std::unique_ptr<rv::TZoomPanInteraction> zp;
};

void BM_IdleMove(benchmark::State& state)
{
    Setup s(static_cast<std::int32_t>(state.range(0)));
    std::int32_t x = 100;
    for (auto _ : state) {
        s.zp->MouseMove(0, x, 120);
        x = x == 100 ? 101 : 100;
    }
}
BENCHMARK(BM_IdleMove)->Arg(200)->Arg(1'000'000);

// One pan step: the four axes' new ranges and a repaint request (no drawing).
void BM_PanStep(benchmark::State& state)
{
    Setup s(static_cast<std::int32_t>(state.range(0)));
    s.zp->MouseDown(rv::TMouseButton::mbRight, 0, 100, 120);
    std::int32_t x = 100;
    for (auto _ : state) {
        x = x == 100 ? 101 : 100;
        s.zp->MouseMove(0, x, 120);
    }
}
BENCHMARK(BM_PanStep)->Arg(200)->Arg(1'000'000);

// One rubber band step: erase and redraw of the outline only.
void BM_ZoomDragStep(benchmark::State& state)
{
    Setup s(static_cast<std::int32_t>(state.range(0)));
    s.zp->MouseDown(rv::TMouseButton::mbLeft, 0, 100, 120);
    std::int32_t x = 300;
    for (auto _ : state) {
        x = x == 300 ? 301 : 300;
        s.zp->MouseMove(0, x, 200);
    }
    state.counters["full_draws"] = static_cast<double>(s.chart.FullDrawCount());
}
BENCHMARK(BM_ZoomDragStep)->Arg(200)->Arg(1'000'000);

} // namespace
