// What the receive-path benchmarks share: a pseudo-terminal, a device thread writing at the
// frame rate of a continuous 115200-baud stream, CPU accounting that leaves the device out, and
// the frame-rate and latency counters.
#pragma once

#include <benchmark/benchmark.h>

#include <pty.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace rv::bench {

using Clock = std::chrono::steady_clock;

constexpr int FramesPerSecond = 1440; // 115200 baud, 10 bits a byte, 8-byte frames

// When each sequence number was written, by the device's clock reading.
using SentTimes = std::array<std::atomic<std::int64_t>, 65536>;

inline double ThreadCpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

inline double ProcessCpuSeconds()
{
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

class PseudoTerminal {
public:
    PseudoTerminal() { Open_ = ::openpty(&Master, &Slave, Name, nullptr, nullptr) == 0; }
    ~PseudoTerminal()
    {
        if (Open_) {
            ::close(Master);
            ::close(Slave);
        }
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool IsOpen() const { return Open_; }

    int Master = -1;
    int Slave = -1;
    char Name[256] = {};

private:
    bool Open_ = false;
};

// A thread writing to `fd` `writesPerSecond` times a second until Stop(). `fill` puts the next
// write's bytes into the buffer and returns how many; each whole write counts `framesPerWrite`.
// At 0 writes a second it writes nothing: a silent device.
class PacedDevice {
public:
    template <class Fill>
    PacedDevice(int fd, std::size_t bufferSize, std::int64_t framesPerWrite, Fill fill,
                int writesPerSecond = FramesPerSecond)
        : PeriodNs_(writesPerSecond > 0 ? 1'000'000'000L / writesPerSecond : 0)
    {
        Thread_ = std::thread([this, fd, bufferSize, framesPerWrite, fill]() mutable {
            const double cpu0 = ThreadCpuSeconds();
            timespec next{};
            ::clock_gettime(CLOCK_MONOTONIC, &next);
            std::vector<std::uint8_t> bytes(bufferSize);
            if (PeriodNs_ == 0) {
                std::unique_lock<std::mutex> lock(StopLock_);
                StopWake_.wait(lock, [this] { return Stop_.load(); });
            }
            while (!Stop_.load(std::memory_order_relaxed)) {
                const std::size_t n = fill(std::span<std::uint8_t>(bytes));
                if (::write(fd, bytes.data(), n) == static_cast<ssize_t>(n))
                    Sent_.fetch_add(framesPerWrite, std::memory_order_relaxed);
                next.tv_nsec += PeriodNs_;
                if (next.tv_nsec >= 1'000'000'000L) {
                    next.tv_nsec -= 1'000'000'000L;
                    ++next.tv_sec;
                }
                ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
            }
            CpuSeconds_ = ThreadCpuSeconds() - cpu0;
        });
    }
    ~PacedDevice() { Stop(); }
    PacedDevice(const PacedDevice&) = delete;
    PacedDevice& operator=(const PacedDevice&) = delete;

    void Stop()
    {
        {
            const std::lock_guard<std::mutex> lock(StopLock_);
            Stop_.store(true);
        }
        StopWake_.notify_all();
        if (Thread_.joinable())
            Thread_.join();
    }
    // Both valid once stopped.
    double CpuSeconds() const { return CpuSeconds_; }
    std::int64_t Sent() const { return Sent_.load(); }

private:
    const long PeriodNs_;
    std::atomic<bool> Stop_{false};
    std::mutex StopLock_;
    std::condition_variable StopWake_;
    std::atomic<std::int64_t> Sent_{0};
    double CpuSeconds_ = 0;
    std::thread Thread_;
};

struct RunTimes {
    double Elapsed = 0; // s
    double Cpu = 0; // s of reader and window thread, the device's own left out
};

// Lets `serve(duration)` handle the stream for `seconds`, stops the device, then serves 50 ms
// more for the frames still in flight.
template <class Serve>
RunTimes ServeWhileDeviceWrites(PacedDevice& device, int seconds, Serve serve)
{
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = Clock::now();
    serve(std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(seconds)));
    device.Stop();
    serve(std::chrono::duration_cast<Clock::duration>(std::chrono::milliseconds(50)));
    RunTimes times;
    times.Elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    times.Cpu = ProcessCpuSeconds() - cpu0 - device.CpuSeconds();
    return times;
}

// frames_per_s, lost, notify_per_s, cpu_pct and the latency p50/p99/max in ms. Sorts `latencies`.
inline void SetReceiveCounters(benchmark::State& state, const RunTimes& times, double frames,
                               std::int64_t sent, std::int64_t notifications,
                               std::vector<Clock::rep>& latencies)
{
    std::sort(latencies.begin(), latencies.end());
    const auto pct = [&](double p) {
        if (latencies.empty())
            return 0.0;
        const auto i = static_cast<std::size_t>(p * static_cast<double>(latencies.size() - 1));
        return std::chrono::duration<double, std::milli>(Clock::duration(latencies[i])).count();
    };
    state.counters["frames_per_s"] = frames / times.Elapsed;
    state.counters["lost"] = static_cast<double>(sent) - frames;
    state.counters["notify_per_s"] = static_cast<double>(notifications) / times.Elapsed;
    state.counters["cpu_pct"] = 100.0 * times.Cpu / times.Elapsed;
    state.counters["lat_p50_ms"] = pct(0.50);
    state.counters["lat_p99_ms"] = pct(0.99);
    state.counters["lat_max_ms"] = pct(1.0);
}

} // namespace rv::bench
