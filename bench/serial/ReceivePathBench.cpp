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

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "rangeview/protocol/FrameDecoder.h"
#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/serial/SystemPlatform.h"
#include "rangeview/serial/SerialConnection.h"
#include "support/ReceiveBenchSupport.h"

namespace {

using rv::bench::Clock;
using rv::bench::FramesPerSecond;

// The window's side: a queue of notifications serviced by the benchmark thread, and a decoder.
class BenchHost final : public rv::ConnectionHost {
public:
    explicit BenchHost(const rv::bench::SentTimes& sentAt) : SentAt_(sentAt)
    {
        Latencies.reserve(FramesPerSecond * 64);
    }

    void Fault(rv::ConnectionFault, const std::optional<rv::SystemError>&) override { ++Faults; }
    void PortOpened() override { }
    void PortClosing() override { }
    void PortClosed() override { }
    void TxCountChanged(std::int32_t) override { }
    void AutoSendSwitched(bool) override { }
    void EnableTimer(std::uint32_t) override { }
    void DisableTimer() override { }

    void ProcessReceivedBytes(std::span<const std::uint8_t> bytes) override
    {
        const auto now = Clock::now().time_since_epoch().count();
        for (const auto b : bytes) {
            if (const auto reading = Decoder_.FeedByte(b)) {
                ++Frames;
                Latencies.push_back(now -
                                    SentAt_[reading->Distance].load(std::memory_order_relaxed));
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
    int Faults = 0;
    std::vector<Clock::rep> Latencies;

private:
    const rv::bench::SentTimes& SentAt_;
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
    rv::bench::PseudoTerminal pty;
    if (!pty.IsOpen()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }

    static rv::bench::SentTimes sentAt{};
    for (auto _ : state) {
        auto host = std::make_shared<BenchHost>(sentAt);
        rv::SerialConnection connection(rv::MakeSystemPlatform(), host);
        connection.Open(pty.Name, 115200);
        if (connection.State() != rv::ConnectionState::Open) {
            state.SkipWithError("port did not open");
            break;
        }

        rv::bench::PacedDevice device(
            pty.Master, rv::MeasurementFrame::MaxSize * static_cast<std::size_t>(batch), batch,
            [batch, seq = std::uint16_t{0}](std::span<std::uint8_t> bytes) mutable {
                std::size_t n = 0;
                const auto now = Clock::now().time_since_epoch().count();
                for (int f = 0; f < batch; ++f, ++seq) {
                    n += rv::MeasurementFrame::ForReading(seq, 3).Encode(bytes.subspan(n));
                    sentAt[seq].store(now, std::memory_order_relaxed);
                }
                return n;
            });

        const auto times =
            rv::bench::ServeWhileDeviceWrites(device, seconds, [&](Clock::duration d) {
                host->ServiceUntil(connection, Clock::now() + d);
            });
        connection.Close();

        rv::bench::SetReceiveCounters(state, times, static_cast<double>(host->Frames),
                                      device.Sent(), host->Notifications, host->Latencies);
        if (host->Faults != 0)
            state.SkipWithError("the receive path reported a failure");
    }
}

BENCHMARK(BM_ReceivePathAt115200FrameRate)
    ->Args({5, 1})
    ->Args({3, 20})
    ->ArgNames({"seconds", "frames_per_write"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace
