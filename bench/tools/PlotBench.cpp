// `rangeview-cli plot` on long recordings at the full 115200-baud frame rate (1440 frames a
// second): one and ten hours, written here as the monitor would have recorded the simulator
// (its own frame generator, noisy distance, a wrong checksum now and then), then drawn to a PNG
// by the real program. Reports the wall time of one run and the program's peak resident memory.
//
// The captures come as `rangeview-sim --burst` delivers them (144 frames per read every 100 ms)
// and, for the one-hour case, one frame per read (the most records a capture can have). A CSV of
// the same hour is drawn too.
// Run: build/bench/tools/plot_bench --benchmark_counters_tabular=true

#include "rangeview/tools/Capture.h"
#include "rangeview/tools/LinkStatistics.h"
#include "rangeview/tools/ReadingTable.h"
#include "rangeview/tools/SensorSimulator.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int FramesPerSecond = 1440;
const std::string CliExe = RV_CLI_EXE;

// A private folder for the generated recordings, removed at exit.
struct TempFolder {
    TempFolder()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "rv-plot-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            Path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ec;
        if (!Path.empty())
            std::filesystem::remove_all(Path, ec);
    }
    std::string Path;
};

const std::string& Folder()
{
    static const TempFolder folder;
    return folder.Path;
}

// The simulator's frames for `hours` at the full rate, `perRecord` frames to a record, into a
// capture (and, when asked, the monitor's CSV of the same readings). Made once per file.
std::string Recording(int hours, int perRecord, bool csv)
{
    static std::map<std::string, bool> made;
    const std::string name = Folder() + "/h" + std::to_string(hours) + "-r" +
                             std::to_string(perRecord) + (csv ? ".csv" : ".cap");
    if (made[name])
        return name;
    made[name] = true;
    rv::SimulatorSettings settings;
    settings.BadChecksumEvery = 9973;
    rv::SensorSimulator simulator(rv::DistanceSignal::Noise(5), settings);
    rv::FrameOutputQueue queue(1 << 20);
    std::ofstream out(name, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    out.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    if (!csv) {
        const auto header = rv::CaptureFormat::EncodeHeader();
        out.write(reinterpret_cast<const char*>(header.data()), header.size());
    } else {
        out << rv::ReadingTable::Header << '\n';
    }
    const auto wallStart = std::chrono::system_clock::now();
    rv::CountingDecoder decoder;
    const std::uint64_t frames = std::uint64_t{FramesPerSecond} * 3600 * hours;
    std::string line;
    for (std::uint64_t frame = 0; frame < frames; frame += perRecord) {
        for (int k = 0; k < perRecord; ++k)
            simulator.EmitFrame(queue);
        const auto bytes = queue.Pending();
        // Arrival of the record's last byte.
        const std::uint64_t us = (frame + perRecord) * 1'000'000 / FramesPerSecond;
        if (!csv) {
            const auto head =
                rv::CaptureFormat::EncodeRecordHead(us, static_cast<std::uint32_t>(bytes.size()));
            out.write(reinterpret_cast<const char*>(head.data()), head.size());
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
        } else {
            for (const std::uint8_t b : bytes) {
                if (const auto reading = decoder.FeedByte(b)) {
                    line.clear();
                    rv::AppendTableRow(line, wallStart + std::chrono::microseconds(us),
                                       static_cast<std::int64_t>(us / 1000), *reading);
                    out << line;
                }
            }
        }
        queue.Consume(bytes.size());
    }
    return name;
}

// Runs `rangeview-cli plot input -o out.png`: its wall time, CPU time and peak resident memory.
bool Plot(const std::string& input, double& seconds, double& cpuSeconds, double& peakMb)
{
    const std::string output = Folder() + "/out.png";
    std::vector<std::string> args{CliExe, "plot", input, "-o", output};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const auto start = std::chrono::steady_clock::now();
    const int spawned =
        ::posix_spawn(&pid, CliExe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return false;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid)
        return false;
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto time = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    cpuSeconds = time(usage.ru_utime) + time(usage.ru_stime);
    peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_Plot(benchmark::State& state, int hours, int perRecord, bool csv)
{
    if (Folder().empty()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string input = Recording(hours, perRecord, csv);
    double peak = 0;
    double cpu = 0;
    for (auto _ : state) {
        double seconds = 0;
        double cpuSeconds = 0;
        if (!Plot(input, seconds, cpuSeconds, peak)) {
            state.SkipWithError("rangeview-cli plot failed");
            return;
        }
        state.SetIterationTime(seconds);
        cpu += cpuSeconds;
    }
    // On a busy machine the wall time includes waiting for a core; the CPU time does not.
    state.counters["cpu_s"] = cpu / static_cast<double>(state.iterations());
    state.counters["readings_M"] = FramesPerSecond * 3600.0 * hours / 1e6;
    state.counters["input_MB"] = static_cast<double>(std::filesystem::file_size(input)) / 1e6;
    state.counters["peak_rss_MB"] = peak;
}

BENCHMARK_CAPTURE(BM_Plot, capture_1h, 1, 144, false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_Plot, capture_1h_one_frame_per_record, 1, 1, false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_Plot, csv_1h, 1, 144, true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_Plot, capture_10h, 10, 144, false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
