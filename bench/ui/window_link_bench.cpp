// The window's receive path end to end on a pseudo-terminal: a device thread writes one frame
// every 1/1440 s (a continuous stream at 115200 baud); the reader posts WM_COMMNOTIFY through the
// Qt event loop to the real window, whose handler reads and presents the bytes (labels, hex
// echo and waveform on as chosen). Painting is left out unless the window is shown
// (presentation=2).
//
// Counters: frames/s presented, lost frames, CPU share of one core taken by the reader and the
// window thread (process CPU less the device thread's own), notifications per second, and the
// latency from the device's write to the end of the handler (p50, p99, max).
//
//   build-*/bench/ui/window_link_bench --benchmark_counters_tabular=true
#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/serial/PosixPlatform.h"
#include "rangeview/ui/MessageSink.h"
#include "rangeview/ui/SerialLink.h"
#include "rangeview/ui/Unit1.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

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
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int FramesPerSecond = 1440;

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

class QuietSink : public rv::MessageSink {
public:
    int Shown = 0;
    void ShowNotice(const QString&) override { ++Shown; }
    void ShowShortMessage(const QString&) override { ++Shown; }
    void ShowErrorReport(const QString&) override { ++Shown; }
    void ShowOwnedBox(QWidget*, const QString&) override { ++Shown; }
};

std::array<std::atomic<std::int64_t>, 65536> SentAt{};

// The window, timed around its WM_COMMNOTIFY handler. The device sends its sequence number as
// the distance, so the read-out tells which frames a handling presented.
class TimedForm final : public rv::TForm1 {
public:
    using rv::TForm1::TForm1;

    std::vector<Clock::rep> Latencies;
    std::int64_t Notifications = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != rv::WM_COMMNOTIFY)
            return rv::TForm1::event(e);
        const std::int32_t rxBefore = RxCount;
        const bool handled = rv::TForm1::event(e);
        const auto now = Clock::now().time_since_epoch().count();
        ++Notifications;
        const std::int32_t frames = (RxCount - rxBefore) / 8;
        const int last = Label4->text().toInt();
        for (int i = 0; i < frames; ++i) {
            const auto seq = static_cast<std::uint16_t>(last - i);
            Latencies.push_back(now - SentAt[seq].load(std::memory_order_relaxed));
        }
        return handled;
    }
};

void RunLoopFor(std::chrono::milliseconds time)
{
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

void BM_WindowReceivePathAt115200FrameRate(benchmark::State& state)
{
    const auto seconds = static_cast<int>(state.range(0));
    // 0: read-out only; 1: hex echo and waveform on as well; 2: that, and the window painted.
    const auto presentation = state.range(1);
    const bool shown = presentation == 2;
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }

    for (auto _ : state) {
        QuietSink sink;
        TimedForm form(&sink, [] { return QStringList(); });
        form.AttachSerialLink(rv::MakePosixPlatform());
        form.ComboBox1->setEditText(QString::fromLatin1(name));
        form.ComboBox2->setCurrentIndex(1);
        if (shown)
            form.show();
        form.BitBtn1->click();
        if (presentation >= 1) {
            form.Button5->click();  // hex echo on
            form.BitBtn2->click();  // waveform on
        }
        if (form.Link()->Connection().State() != rv::ConnectionState::Open) {
            state.SkipWithError("port did not open");
            break;
        }
        form.Latencies.reserve(static_cast<std::size_t>(FramesPerSecond * (seconds + 1)));

        std::atomic<bool> stop{false};
        std::atomic<std::int64_t> sent{0};
        double deviceCpu = 0;
        std::thread device([&] {
            const double cpu0 = ThreadCpuSeconds();
            timespec next{};
            ::clock_gettime(CLOCK_MONOTONIC, &next);
            const long periodNs = 1'000'000'000L / FramesPerSecond;
            std::uint16_t seq = 1000;
            std::array<std::uint8_t, rv::MeasurementFrame::MaxSize> bytes{};
            while (!stop.load(std::memory_order_relaxed)) {
                ++seq;
                if (seq > 60000)
                    seq = 1000;  // keeps the read-out's text length steady
                const auto n = rv::MeasurementFrame::ForReading(seq, 3).Encode(bytes);
                SentAt[seq].store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
                if (::write(master, bytes.data(), n) == static_cast<ssize_t>(n))
                    sent.fetch_add(1, std::memory_order_relaxed);
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
        RunLoopFor(std::chrono::seconds(seconds));
        stop.store(true);
        device.join();
        RunLoopFor(std::chrono::milliseconds(50));  // frames still in flight
        const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
        const double cpu = ProcessCpuSeconds() - cpu0 - deviceCpu;
        form.Button1->click();

        auto& lat = form.Latencies;
        std::sort(lat.begin(), lat.end());
        const auto pct = [&](double p) {
            if (lat.empty())
                return 0.0;
            const auto i = static_cast<std::size_t>(p * static_cast<double>(lat.size() - 1));
            return std::chrono::duration<double, std::milli>(Clock::duration(lat[i])).count();
        };
        const auto frames = static_cast<double>(form.RxCount / 8);
        state.counters["frames_per_s"] = frames / elapsed;
        state.counters["lost"] = static_cast<double>(sent.load()) - frames;
        state.counters["notify_per_s"] = static_cast<double>(form.Notifications) / elapsed;
        state.counters["cpu_pct"] = 100.0 * cpu / elapsed;
        state.counters["lat_p50_ms"] = pct(0.50);
        state.counters["lat_p99_ms"] = pct(0.99);
        state.counters["lat_max_ms"] = pct(1.0);
        if (sink.Shown != 0)
            state.SkipWithError("the window reported a failure");
    }
    ::close(master);
    ::close(slave);
}

BENCHMARK(BM_WindowReceivePathAt115200FrameRate)
    ->Args({5, 0})
    ->Args({5, 1})
    ->Args({5, 2})
    ->ArgNames({"seconds", "presentation"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

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
