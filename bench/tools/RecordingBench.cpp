// What recording costs the monitor at the full 115200-baud frame rate (1440 frames a second),
// as a share of one core: one benchmark iteration is one second of line data, read one frame at
// a time (the most reads, so the most per-read work), through the monitor's receive path with
// its reading lines going to /dev/null. The recording variants also write the reading table and
// the raw capture to a temporary folder and hand them to storage once per second of data, as
// the monitor's loop does.
//
// core_pct is the CPU time per second of data in percent of one core; the cost of recording is
// the difference between the variants.
// Run: build/bench/tools/bench_tools

#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/tools/LinkStatistics.h"
#include "rangeview/tools/MonitorHost.h"
#include "rangeview/tools/Recorder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = rv::MonitorHost::Clock;
constexpr int FramesPerSecond = 1440;
constexpr std::size_t FrameSize = 8;

// One second of frames of a noisy distance, a few with a wrong checksum.
std::vector<std::uint8_t> OneSecond()
{
    std::mt19937 rng(3);
    std::vector<std::uint8_t> bytes;
    std::array<std::uint8_t, rv::MeasurementFrame::MaxSize> out{};
    for (int k = 0; k < FramesPerSecond; ++k) {
        const auto distance = static_cast<std::uint16_t>(1000 + rng() % 200);
        const std::size_t size = rv::MeasurementFrame::ForReading(distance, 3).Encode(out);
        if (k % 40 == 0)
            out[size - 1] ^= 0x01;
        bytes.insert(bytes.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size));
    }
    return bytes;
}

std::string TempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "rv-bench-XXXXXX").string();
    return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

void Receive(benchmark::State& state, bool csv, bool raw)
{
    const auto second = OneSecond();
    const std::string folder = TempFolder();
    if (folder.empty()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    double cpuSeconds = 0;
    {
        std::ofstream out("/dev/null");
        std::ofstream err("/dev/null");
        rv::MonitorHost host(out, err, -1);
        rv::RecordingOptions options;
        options.CsvPath = csv ? folder + "/r.csv" : "";
        options.RawPath = raw ? folder + "/r.cap" : "";
        rv::Recorder recorder(options);
        const auto start = Clock::now();
        host.MarkOpened(start);
        if (recorder.Active()) {
            host.SetRecorder(&recorder);
            recorder.Start(start, std::chrono::system_clock::now());
        }
        // The loop's clock for syncing: seconds of data, not of the benchmark.
        auto dataTime = start;
        const std::clock_t cpuStart = std::clock();
        for (auto _ : state) {
            for (std::size_t at = 0; at < second.size(); at += FrameSize) {
                host.ProcessReceivedBytes(std::span(second).subspan(at, FrameSize));
                dataTime += std::chrono::microseconds(1000000 / FramesPerSecond);
                recorder.RunDue(dataTime);
            }
        }
        cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        recorder.Close();
        if (recorder.Failed())
            state.SkipWithError(recorder.Failure().c_str());
        benchmark::DoNotOptimize(host.Readings());
    }
    std::filesystem::remove_all(folder);
    // Process CPU time, so that the kernel's share of the writes and syncs counts too.
    state.counters["core_pct"] =
        100.0 * cpuSeconds /
        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

void BM_MonitorOnly(benchmark::State& state)
{
    Receive(state, false, false);
}
void BM_MonitorWithCsv(benchmark::State& state)
{
    Receive(state, true, false);
}
void BM_MonitorWithRaw(benchmark::State& state)
{
    Receive(state, false, true);
}
void BM_MonitorWithCsvAndRaw(benchmark::State& state)
{
    Receive(state, true, true);
}

BENCHMARK(BM_MonitorOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_MonitorWithCsv)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_MonitorWithRaw)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_MonitorWithCsvAndRaw)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The counting beside the decoder, against the bare decoder, per byte of the same stream: the
// price the command-line tool pays for its statistics (the window does not pay it).
void BM_BareDecoder(benchmark::State& state)
{
    const auto second = OneSecond();
    rv::FrameDecoder decoder;
    for (auto _ : state)
        for (auto b : second)
            benchmark::DoNotOptimize(decoder.FeedByte(b));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * second.size()));
}

void BM_CountingDecoder(benchmark::State& state)
{
    const auto second = OneSecond();
    rv::CountingDecoder decoder;
    for (auto _ : state)
        for (auto b : second)
            benchmark::DoNotOptimize(decoder.FeedByte(b));
    benchmark::DoNotOptimize(decoder.SkippedBytes());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * second.size()));
}

BENCHMARK(BM_BareDecoder);
BENCHMARK(BM_CountingDecoder);

} // namespace

BENCHMARK_MAIN();
