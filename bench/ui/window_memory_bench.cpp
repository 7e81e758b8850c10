// Resident memory the window keeps per received frame: ten minutes of the full 115200-baud
// stream (1440 frames a second, one 8-byte frame per read, faster than real time) go through
// ProcessReceivedBytes with the hex echo and the waveform on, the window shown and its events
// handled once per second of data. RSS is read before and after; bytes_per_frame is the growth
// divided by the frames. The echo-only and waveform-only cases tell the log's part from the
// series'. bytes_per_frame_trimmed gives the allocator's free memory back first, so it counts
// only what is held.
//
//   build-*/bench/ui/window_memory_bench --benchmark_counters_tabular=true
#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/ui/LogMemo.h"
#include "rangeview/ui/MessageSink.h"
#include "rangeview/ui/TForm1TestAccess.h"
#include "rangeview/ui/Unit1.h"

#include <QApplication>
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
        state.counters["log_blocks"] = static_cast<double>(Parts(form).Memo1->BlockCount());
    }
}

BENCHMARK(BM_ResidentMemoryPerFrame)
    ->Args({600, 1, 1})
    ->Args({600, 1, 0})
    ->Args({600, 0, 1})
    ->ArgNames({"seconds", "echo", "waveform"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

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
