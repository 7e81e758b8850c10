// Resident memory the window keeps per received frame: ten minutes of the full 115200-baud
// stream (1440 frames a second, one 8-byte frame per read, faster than real time) go through
// ProcessReceivedBytes with the hex echo and the waveform on, the window shown and its events
// handled once per second of data. RSS is read before and after; bytes_per_frame is the growth
// divided by the frames. The echo-only and waveform-only cases tell the log's part from the
// series'. bytes_per_frame_trimmed gives the allocator's free memory back first, so it counts
// only what is held.
//
//
// BM_ChartCachePeak runs the same stream with the waveform on and the chart repainted at display
// rate (every 24 frames), and every 20 seconds a zoom, 5 seconds of panning and an undo of the
// zoom. cache_peak_bytes is the most the chart's caches held at once by their own count;
// heap_freed_bytes is what the allocator got back when they were all dropped at the end
// (mallinfo2), against cache_bytes, their own count at that moment.
//
//   build-*/bench/ui/window_memory_bench --benchmark_counters_tabular=true
#include "log/LogText.h"
#include "rangeview/chart/CacheBudget.h"
#include "rangeview/chart/qt/ChartControl.h"
#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/ui/LogMemo.h"
#include "rangeview/ui/MessageSink.h"
#include "rangeview/ui/TForm1TestAccess.h"
#include "rangeview/ui/Unit1.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int FramesPerSecond = 1440;

class QuietSink : public rv::MessageSink {
public:
    void ShowNotice(const QString&, const QString&) override { }
    void ShowShortMessage(const QString&, const QString&) override { }
    void ShowErrorReport(const QString&) override { }
    void ShowOwnedBox(QWidget*, const QString&, const QString&) override { }
};

double ResidentBytes()
{
    long pages = 0;
    long resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE));
}

std::vector<std::uint8_t> OneSecond(std::int64_t first)
{
    std::vector<std::uint8_t> stream;
    for (int f = 0; f < FramesPerSecond; ++f) {
        const std::int64_t i = first + f;
        const auto distance = static_cast<std::uint16_t>(
            1500 + std::lround(300 * std::sin(static_cast<double>(i) / 90.0)) + (i * 7919) % 13);
        std::uint8_t bytes[rv::MeasurementFrame::MaxSize];
        const std::size_t n = rv::MeasurementFrame::ForReading(distance, 3).Encode(bytes);
        stream.insert(stream.end(), bytes, bytes + n);
    }
    return stream;
}

void Feed(rv::TForm1& form, int seconds, std::int64_t& frame)
{
    for (int s = 0; s < seconds; ++s) {
        const auto stream = OneSecond(frame);
        frame += FramesPerSecond;
        for (std::size_t at = 0; at < stream.size(); at += 8)
            form.ProcessReceivedBytes(std::span<const std::uint8_t>(stream).subspan(at, 8));
        QCoreApplication::processEvents();
    }
}

void BM_ResidentMemoryPerFrame(benchmark::State& state)
{
    const int seconds = static_cast<int>(state.range(0));
    const bool echo = state.range(1) != 0;
    const bool waveform = state.range(2) != 0;
    for (auto _ : state) {
        QuietSink sink;
        rv::TForm1 form(&sink, [] { return QStringList(); });
        form.show();
        if (echo)
            Parts(form).Button5->click();
        if (waveform)
            Parts(form).BitBtn2->click();
        std::int64_t frame = 0;
        // Caches, glyphs and first allocations settle in the first seconds.
        Feed(form, 10, frame);
        ::malloc_trim(0);
        const double before = ResidentBytes();
        const std::int64_t first = frame;
        Feed(form, seconds, frame);
        const double after = ResidentBytes();
        ::malloc_trim(0);
        const double trimmed = ResidentBytes();
        const double frames = static_cast<double>(frame - first);
        state.counters["bytes_per_frame"] = (after - before) / frames;
        state.counters["bytes_per_frame_trimmed"] = (trimmed - before) / frames;
        state.counters["frames"] = frames;
        state.counters["log_lines"] = static_cast<double>(Parts(form).Memo1->LineCount());
        state.counters["log_blocks"] = static_cast<double>(Parts(form).Memo1->Text().BlockCount());
    }
}

BENCHMARK(BM_ResidentMemoryPerFrame)
    ->Args({600, 1, 1})
    ->Args({600, 1, 0})
    ->Args({600, 0, 1})
    ->ArgNames({"seconds", "echo", "waveform"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

void Mouse(QWidget& chart, QEvent::Type type, QPoint at, Qt::MouseButton button,
           Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(at), QPointF(chart.mapToGlobal(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(&chart, &event);
}

void Drag(QWidget& chart, Qt::MouseButton button, QPoint from, QPoint to)
{
    Mouse(chart, QEvent::MouseButtonPress, from, button, button);
    Mouse(chart, QEvent::MouseMove, to, Qt::NoButton, button);
    Mouse(chart, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
}

// At tick `tick` (1/60 s) of second `second`: zoom in at 0 s, pan from 1 s to 6 s, undo at 10 s
// of every 20.
void Gesture(QWidget& chart, int second, int tick)
{
    const int phase = second % 20;
    if (phase == 0 && tick == 0)
        Drag(chart, Qt::LeftButton, QPoint(300, 90), QPoint(420, 150));
    if (phase == 1 && tick == 0)
        Mouse(chart, QEvent::MouseButtonPress, QPoint(400, 150), Qt::RightButton, Qt::RightButton);
    if (phase >= 1 && phase < 6) {
        const int step = (second + tick) % 40 < 20 ? tick % 20 : 20 - tick % 20;
        Mouse(chart, QEvent::MouseMove, QPoint(400 + 3 * step, 150 + 2 * step), Qt::NoButton,
              Qt::RightButton);
    }
    if (phase == 6 && tick == 0)
        Mouse(chart, QEvent::MouseButtonRelease, QPoint(400, 150), Qt::RightButton, Qt::NoButton);
    if (phase == 10 && tick == 0)
        Drag(chart, Qt::LeftButton, QPoint(420, 150), QPoint(300, 90));
}

void BM_ChartCachePeak(benchmark::State& state)
{
    const int seconds = static_cast<int>(state.range(0));
    constexpr int Ticks = 60;
    for (auto _ : state) {
        QuietSink sink;
        rv::TForm1 form(&sink, [] { return QStringList(); });
        form.show();
        Parts(form).BitBtn2->click();
        rv::ChartControl& chart = *Parts(form).Chart1;
        rv::TCacheBudget& budget = rv::TCacheBudget::Shared();
        budget.EvictAll();
        budget.ResetPeak();
        const std::uint64_t evictions = budget.Evictions();
        const auto draws = chart.Chart().FullDrawCount();
        std::int64_t frame = 0;
        for (int s = 0; s < seconds; ++s) {
            const auto stream = OneSecond(frame);
            frame += FramesPerSecond;
            const std::size_t perTick = stream.size() / Ticks;
            for (int tick = 0; tick < Ticks; ++tick) {
                for (std::size_t at = tick * perTick; at < (tick + 1) * perTick; at += 8)
                    form.ProcessReceivedBytes(std::span<const std::uint8_t>(stream).subspan(at, 8));
                Gesture(chart, s, tick);
                // The full draw a paint makes (offscreen, a repaint from here is not painted).
                benchmark::DoNotOptimize(rv::RenderChart(chart).constBits());
            }
            QCoreApplication::processEvents();
        }
        const std::size_t held = budget.Total();
        const std::uint64_t dropped = budget.Evictions() - evictions;
        const auto before = ::mallinfo2().uordblks;
        budget.EvictAll();
        const auto after = ::mallinfo2().uordblks;
        state.counters["cache_peak_bytes"] = static_cast<double>(budget.Peak());
        state.counters["cache_bytes"] = static_cast<double>(held);
        state.counters["heap_freed_bytes"] =
            static_cast<double>(before) - static_cast<double>(after);
        state.counters["evictions"] = static_cast<double>(dropped);
        state.counters["full_draws"] = static_cast<double>(chart.Chart().FullDrawCount() - draws);
    }
}

BENCHMARK(BM_ChartCachePeak)->Arg(600)->ArgName("seconds")->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
