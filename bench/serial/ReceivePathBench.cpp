// The receive path on a pseudo-terminal: a device thread writes one frame every 1/1440 s (the
// frame rate of a continuous stream at 115200 baud), the reader waits and notifies, and a
// window thread (this one) handles each notification: queued count, read, hand-off to a frame
// decoder. Painting and labels are not part of it.
//
// Counters: frames/s decoded, lost frames, CPU share of one core taken by the reader and the
// window thread together (the process's CPU time less the device thread's own), notifications
// per second, and the latency from the device's write to the decoded reading (p50, p99, max).
//
//   build-*/bench/serial/bench_serial --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "rangeview/protocol/FrameDecoder.h"
#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/serial/PosixPlatform.h"
#include "rangeview/serial/SerialConnection.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int FramesPerSecond = 1440;  // 115200 baud, 10 bits a byte, 8-byte frames

double ThreadCpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double ProcessCpuSeconds()
{
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

// The window's side: a queue of notifications serviced by the benchmark thread, and a decoder.
class BenchHost final : public rv::ConnectionHost {
public:
    explicit BenchHost(const std::array<std::atomic<std::int64_t>, 65536>& sentAt) : SentAt_(sentAt)
    {
        Latencies.reserve(FramesPerSecond * 64);
    }

    void ShowNotice(std::string_view) override { ++Notices; }
    void ShowNoCreateThread() override {}
    void ShowShortMessage(std::string_view) override {}
    void SetOpenButtonEnabled(bool) override {}
    void SwitchWaveformOff() override {}
    void TxCountChanged(std::int32_t) override {}
    std::string AutoSendCaption() const override { return "自动发送"; }
    void SetAutoSendCaption(std::string_view) override {}
    void EnableTimer(std::uint32_t) override {}
    void DisableTimer() override {}

    void ProcessReceivedBytes(std::span<const std::uint8_t> bytes) override
    {
        const auto now = Clock::now().time_since_epoch().count();
        for (const auto b : bytes) {
            if (const auto reading = Decoder_.FeedByte(b)) {
                ++Frames;
                Latencies.push_back(now - SentAt_[reading->Distance].load(std::memory_order_relaxed));
            }
        }
    }

    bool PostCommNotify(rv::CommHandle handle) override
    {
        {
            std::lock_guard lock(Mutex_);
            Queue_.push_back(handle);
        }
        Ready_.notify_one();
        return true;
    }

    // One turn of the window's event loop.
    void ServiceUntil(rv::SerialConnection& connection, Clock::time_point end)
    {
        while (Clock::now() < end) {
            rv::CommHandle handle = 0;
            {
                std::unique_lock lock(Mutex_);
                if (!Ready_.wait_until(lock, end, [this] { return !Queue_.empty(); }))
                    return;
                handle = Queue_.front();
                Queue_.pop_front();
            }
            ++Notifications;
            connection.OnCommNotify(handle);
        }
    }

    std::int64_t Frames = 0;
    std::int64_t Notifications = 0;
    int Notices = 0;
    std::vector<Clock::rep> Latencies;

private:
    const std::array<std::atomic<std::int64_t>, 65536>& SentAt_;
    rv::FrameDecoder Decoder_;
    std::mutex Mutex_;
    std::condition_variable Ready_;
    std::deque<rv::CommHandle> Queue_;
};

void BM_ReceivePathAt115200FrameRate(benchmark::State& state)
{
    const auto seconds = static_cast<int>(state.range(0));
    // Frames per write: 1 is the module's own pace; more shows the headroom.
    const auto batch = static_cast<int>(state.range(1));
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }

    static std::array<std::atomic<std::int64_t>, 65536> sentAt{};
    for (auto _ : state) {
        auto host = std::make_shared<BenchHost>(sentAt);
        rv::SerialConnection connection(rv::MakePosixPlatform(), host);
        connection.BitBtn1Click(name, "115200");
        if (connection.State() != rv::ConnectionState::Open) {
            state.SkipWithError("port did not open");
            break;
        }

        std::atomic<bool> stop{false};
        std::atomic<std::int64_t> sent{0};
        double deviceCpu = 0;
        std::thread device([&] {
            const double cpu0 = ThreadCpuSeconds();
            timespec next{};
            ::clock_gettime(CLOCK_MONOTONIC, &next);
            const long periodNs = 1'000'000'000L / FramesPerSecond;
            std::uint16_t seq = 0;
            std::vector<std::uint8_t> bytes(rv::MeasurementFrame::MaxSize * static_cast<std::size_t>(batch));
            while (!stop.load(std::memory_order_relaxed)) {
                std::size_t n = 0;
                const auto now = Clock::now().time_since_epoch().count();
                for (int f = 0; f < batch; ++f, ++seq) {
                    n += rv::MeasurementFrame::ForReading(seq, 3).Encode(std::span(bytes).subspan(n));
                    sentAt[seq].store(now, std::memory_order_relaxed);
                }
                if (::write(master, bytes.data(), n) == static_cast<ssize_t>(n))
                    sent.fetch_add(batch, std::memory_order_relaxed);
                next.tv_nsec += periodNs;
                if (next.tv_nsec >= 1'000'000'000L) {
                    next.tv_nsec -= 1'000'000'000L;
                    ++next.tv_sec;
                }
                ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
            }
            deviceCpu = ThreadCpuSeconds() - cpu0;
        });

        const double cpu0 = ProcessCpuSeconds();
        const auto t0 = Clock::now();
        host->ServiceUntil(connection, t0 + std::chrono::seconds(seconds));
        stop.store(true);
        device.join();
        // Frames still in flight when the device stopped.
        host->ServiceUntil(connection, Clock::now() + std::chrono::milliseconds(50));
        const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
        const double cpu = ProcessCpuSeconds() - cpu0 - deviceCpu;
        connection.Button1Click();

        auto& lat = host->Latencies;
        std::sort(lat.begin(), lat.end());
        const auto pct = [&](double p) {
            if (lat.empty())
                return 0.0;
            const auto i = static_cast<std::size_t>(p * static_cast<double>(lat.size() - 1));
            return std::chrono::duration<double, std::milli>(Clock::duration(lat[i])).count();
        };
        state.counters["frames_per_s"] = static_cast<double>(host->Frames) / elapsed;
        state.counters["lost"] = static_cast<double>(sent.load() - host->Frames);
        state.counters["notify_per_s"] = static_cast<double>(host->Notifications) / elapsed;
        state.counters["cpu_pct"] = 100.0 * cpu / elapsed;
        state.counters["lat_p50_ms"] = pct(0.50);
        state.counters["lat_p99_ms"] = pct(0.99);
        state.counters["lat_max_ms"] = pct(1.0);
        if (host->Notices != 0)
            state.SkipWithError("the receive path reported a failure");
    }
    ::close(master);
    ::close(slave);
}

BENCHMARK(BM_ReceivePathAt115200FrameRate)
    ->Args({5, 1})
    ->Args({3, 20})
    ->ArgNames({"seconds", "frames_per_write"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace
