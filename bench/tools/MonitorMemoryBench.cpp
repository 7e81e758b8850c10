// The monitor's resident memory over simulated hours at the full 115200-baud frame rate (1440
// frames a second): the real session (port, reader thread, loop, decoder, statistics and the
// recording with --csv, --raw and --rotate) on a pseudo-terminal, fed as fast as it reads, the
// way `rangeview-sim --replay --speed 0` feeds it. Resident and peak size are read at the first
// simulated minute and after every simulated hour; rotated files are deleted as it goes, so the
// disk holds only the current hour.
//
// rss_start_mb and peak_start_mb are taken after the first minute, rss_end_mb and peak_end_mb
// after the last hour; growth_kb_per_h is the resident growth per hour after the first hour.
//   build/bench/tools/monitor_memory_bench --benchmark_counters_tabular=true
#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/serial/SystemPlatform.h"
#include "rangeview/tools/MonitorSession.h"

#include "support/ReceiveBenchSupport.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using rv::bench::FramesPerSecond;
constexpr std::int64_t FramesPerHour = std::int64_t{FramesPerSecond} * 3600;

// "VmRSS" or "VmHWM" of this process, in MB.
double StatusMegabytes(const char* field)
{
    double kb = 0;
    if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        const std::size_t length = std::strlen(field);
        while (std::fgets(line, sizeof line, f) != nullptr)
            if (std::strncmp(line, field, length) == 0 && line[length] == ':')
                kb = std::atof(line + length + 1);
        std::fclose(f);
    }
    return kb / 1024.0;
}

// A minute of frames, every one valid, so that --count ends the run at the last one.
std::vector<std::uint8_t> OneMinute()
{
    std::vector<std::uint8_t> bytes;
    std::uint8_t frame[rv::MeasurementFrame::MaxSize];
    for (int i = 0; i < FramesPerSecond * 60; ++i) {
        const auto distance = static_cast<std::uint16_t>(
            1500 + std::lround(300 * std::sin(i / 90.0)) + (i * 7919) % 13);
        const std::size_t n = rv::MeasurementFrame::ForReading(distance, 3).Encode(frame);
        bytes.insert(bytes.end(), frame, frame + n);
    }
    return bytes;
}

void BM_MonitorMemoryOverHours(benchmark::State& state)
{
    const auto hours = state.range(0);
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("rv-soak-" + std::to_string(::getpid())))
            .string();
    std::filesystem::create_directories(folder);
    rv::bench::PseudoTerminal pty;
    if (!pty.IsOpen()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const auto minute = OneMinute();
    const std::int64_t total = hours * FramesPerHour;
    for (auto _ : state) {
        std::ofstream out("/dev/null");
        std::ostringstream err;
        rv::CliIo io{-1, out, err};
        rv::MonitorOptions options;
        options.Port = pty.Name;
        options.BaudText = "115200";
        options.Count = static_cast<std::uint64_t>(total);
        options.CsvPath = folder + "/soak.csv";
        options.RawPath = folder + "/soak.cap";
        options.RotateHours = 0.001; // every 3.6 s of real time
        options.Stats = true;
        rv::MonitorSession session(options, rv::MakeSystemPlatform(), io, -1);
        // The device begins once the port is open and set up, as a module would be plugged in.
        if (session.Start()) {
            state.SkipWithError(("the port did not open: " + err.str()).c_str());
            break;
        }

        std::atomic<std::int64_t> sent{0};
        std::atomic<bool> done{false};
        std::thread device([&] {
            while (sent.load() < total && !done.load()) {
                std::size_t at = 0;
                while (at < minute.size() && !done.load()) {
                    const ssize_t n = ::write(pty.Master, minute.data() + at,
                                              std::min<std::size_t>(minute.size() - at, 8192));
                    if (n <= 0)
                        return;
                    at += static_cast<std::size_t>(n);
                }
                sent += FramesPerSecond * 60;
            }
        });
        std::vector<double> hourly;
        double rssStart = 0;
        double peakStart = 0;
        std::thread sampler([&] {
            int idle = 0;
            while (!done.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                const std::int64_t frames = sent.load();
                // All sent but not all read: something was lost, and the count never comes.
                if (frames >= total && ++idle == 300)
                    session.RequestStop();
                if (rssStart == 0 && frames >= FramesPerSecond * 60) {
                    rssStart = StatusMegabytes("VmRSS");
                    peakStart = StatusMegabytes("VmHWM");
                }
                if (frames >= static_cast<std::int64_t>(hourly.size() + 1) * FramesPerHour) {
                    hourly.push_back(StatusMegabytes("VmRSS"));
                    // Rotated and open files alike: the session writes on into the latter.
                    for (const auto& entry : std::filesystem::directory_iterator(folder))
                        std::filesystem::remove(entry.path());
                }
            }
        });
        const auto t0 = std::chrono::steady_clock::now();
        const int status = session.Loop();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        done = true;
        device.join();
        sampler.join();
        if (status != 0 || session.Host().Readings() != static_cast<std::uint64_t>(total)) {
            state.SkipWithError(("the monitor ended early: " + err.str()).c_str());
            break;
        }
        state.counters["rss_start_mb"] = rssStart;
        state.counters["peak_start_mb"] = peakStart;
        state.counters["rss_end_mb"] = StatusMegabytes("VmRSS");
        state.counters["peak_end_mb"] = StatusMegabytes("VmHWM");
        state.counters["growth_kb_per_h"] =
            hourly.size() >= 2
                ? (hourly.back() - hourly.front()) * 1024.0 / static_cast<double>(hourly.size() - 1)
                : 0.0;
        state.counters["sim_h_per_min"] = static_cast<double>(hours) * 60.0 / seconds;
    }
    std::filesystem::remove_all(folder);
}

BENCHMARK(BM_MonitorMemoryOverHours)
    ->Arg(6)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
