// Data-side costs of the waveform chart at its real load: one point per frame, the after-add
// handler reading the X maximum each time, and a visible-range search per paint over a series
// that keeps every point since the last clear.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>

#include "rangeview/chart/Chart.h"

namespace {

constexpr std::int32_t TenMillion = 10'000'000;

double Distance(std::int64_t i)
{
    return static_cast<double>((i * 37) % 4000) / 10.0;
}

// Resident set size in bytes.
long ResidentBytes()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

// Resident memory per stored point of a fast line with empty labels and the series colour.
// Registered first so that no memory freed by another benchmark is reused and hides the cost.
void BM_MemoryPerPoint(benchmark::State& state)
{
    const auto count = static_cast<std::int32_t>(state.range(0));
    double perPoint = 0;
    for (auto _ : state) {
        const long before = ResidentBytes();
        {
            auto series = std::make_unique<rv::TFastLineSeries>();
            for (std::int32_t i = 0; i < count; ++i)
                series->AddPoint(i, Distance(i), "", rv::UseSeriesColor);
            perPoint = static_cast<double>(ResidentBytes() - before) / count;
            benchmark::DoNotOptimize(series.get());
        }
    }
    state.counters["bytes_per_point"] = perPoint;
}
BENCHMARK(BM_MemoryPerPoint)->Arg(TenMillion)->Iterations(1)->Unit(benchmark::kMillisecond);

// 10 million adds, each followed by the X-maximum read the after-add handler makes.
void BM_AddPointWithHighestRead(benchmark::State& state)
{
    const auto count = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        rv::TCustomAxisPanel chart;
        rv::TFastLineSeries series;
        chart.AddSeries(&series);
        double sink = 0;
        series.OnAfterAdd = [&](rv::TChartSeries* s, std::int32_t) {
            sink += s->XValues().HighestValue();
            sink += s->YValues().LastValue();
        };
        for (std::int32_t i = 0; i < count; ++i)
            series.AddPoint(i, Distance(i), "", rv::UseSeriesColor);
        benchmark::DoNotOptimize(sink);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_AddPointWithHighestRead)
    ->Arg(TenMillion)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// One paint's visible-range search with the horizontal window over the last 200 samples.
void BM_FindVisibleRange(benchmark::State& state)
{
    const auto count = static_cast<std::int32_t>(state.range(0));
    rv::TCustomAxisPanel chart;
    rv::TFastLineSeries series;
    chart.AddSeries(&series);
    for (std::int32_t i = 0; i < count; ++i)
        series.AddPoint(i, Distance(i), "", rv::UseSeriesColor);
    chart.BottomAxis()->SetRange(count - 200, count - 1);
    chart.SetChartRect(rv::TRect{47, 45, 920, 275});
    chart.BottomAxis()->AdjustRange();
    chart.BottomAxis()->ComputePixelSpan();
    for (auto _ : state) {
        series.FindVisibleRange();
        benchmark::DoNotOptimize(series.VisibleFirst);
        benchmark::DoNotOptimize(series.VisibleLast);
    }
    state.counters["first"] = series.VisibleFirst;
    state.counters["last"] = series.VisibleLast;
}
BENCHMARK(BM_FindVisibleRange)->Arg(200)->Arg(TenMillion)->Unit(benchmark::kNanosecond);

} // namespace
