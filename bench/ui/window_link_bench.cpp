// The window's receive path end to end on a pseudo-terminal: a device thread writes one frame
// at a time at a fixed rate (1440 a second is a continuous stream at 115200 baud); the reader
// posts WM_COMMNOTIFY through the Qt event loop to the real window, whose handler reads and
// presents the bytes (labels, hex echo and waveform on as chosen). Painting is left out unless
// the window is shown (presentation=2).
//
// Counters: frames/s presented, lost frames, CPU share of one core taken by the reader and the
// window thread (process CPU less the device thread's own), notifications per second, the
// latency from the device's write to the end of the handler (p50, p99, max); and, when shown,
// what the user sees: pictures of the window a second (updates_per_s: update requests that
// painted), pictures of the waveform (chart_pictures_per_s), the process's CPU per picture
// (us_per_update), paints of the most painted widget and of all widgets together, and the time
// from the device's write to the end of the picture that shows the reading in the read-out
// (shown_p50_ms, shown_p99_ms, shown_max_ms) and in the waveform (wave_p99_ms, wave_max_ms).
//
// As a user sees it, on an X server (painted, with the port silent and at 10, 100 and 1440
// frames a second, 30 s each):
//   Xvfb :97 -screen 0 1920x1080x24 &
//   export DISPLAY=:97 QT_QPA_PLATFORM=xcb
//   build-*/bench/ui/window_link_bench --benchmark_filter='presentation:2'
//       --benchmark_counters_tabular=true   (one command line)
//
//   build-*/bench/ui/window_link_bench --benchmark_counters_tabular=true
//
// BM_BareWindowPictures is the floor under those pictures: a window of the same size whose only
// child, where the waveform lies, shows a new picture of its size on every display frame and
// does nothing else. What Qt and the X server cost the process per picture shown comes out as
// us_per_picture; the window's own work is what it adds to that.
#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/serial/SystemPlatform.h"
#include "rangeview/ui/MessageSink.h"
#include "rangeview/ui/SerialLink.h"
#include "rangeview/ui/TForm1TestAccess.h"
#include "rangeview/ui/Unit1.h"
#include "rangeview/chart/qt/ChartControl.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <vector>

#include "support/ReceiveBenchSupport.h"

namespace {

using rv::bench::Clock;
using rv::bench::FramesPerSecond;

class QuietSink : public rv::MessageSink {
public:
    int Shown = 0;
    void ShowNotice(const QString&, const QString&) override { ++Shown; }
    void ShowShortMessage(const QString&, const QString&) override { ++Shown; }
    void ShowErrorReport(const QString&) override { ++Shown; }
    void ShowOwnedBox(QWidget*, const QString&, const QString&) override { ++Shown; }
};

rv::bench::SentTimes SentAt{};

// Counts the paints each widget gets.
class PaintCounter : public QObject {
public:
    std::map<QObject*, std::int64_t> Paints;
    PaintCounter() { QCoreApplication::instance()->installEventFilter(this); }
    ~PaintCounter() override { QCoreApplication::instance()->removeEventFilter(this); }

    std::int64_t Most() const
    {
        std::int64_t most = 0;
        for (const auto& [widget, n] : Paints)
            most = std::max(most, n);
        return most;
    }
    std::int64_t All() const
    {
        std::int64_t all = 0;
        for (const auto& [widget, n] : Paints)
            all += n;
        return all;
    }
    std::int64_t Of(const QObject* widget) const
    {
        const auto it = Paints.find(const_cast<QObject*>(widget));
        return it == Paints.end() ? 0 : it->second;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++Paints[watched];
        return false;
    }
};

// The window, timed around its WM_COMMNOTIFY handler and its pictures. The device sends its
// sequence number as the distance, so the read-out tells which frames a handling presented.
class TimedForm final : public rv::TForm1 {
public:
    using rv::TForm1::TForm1;

    std::vector<Clock::rep> Latencies;
    std::vector<Clock::rep> Shown; // write to the end of the picture with it in the read-out
    std::vector<Clock::rep> Waved; // and in the waveform
    std::int64_t Notifications = 0;
    std::int64_t Pictures = 0;
    const PaintCounter* Paints = nullptr;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::UpdateRequest)
            return Picture(e);
        if (e->type() != rv::WM_COMMNOTIFY)
            return rv::TForm1::event(e);
        const std::int32_t rxBefore = rv::Parts(*this).RxCount;
        const bool handled = rv::TForm1::event(e);
        const auto now = Clock::now().time_since_epoch().count();
        ++Notifications;
        const std::int32_t frames = (rv::Parts(*this).RxCount - rxBefore) / 8;
        const int last = rv::Parts(*this).Label4->text().toInt();
        const bool waveform = rv::Parts(*this).BitBtn2->text() == rv::WaveformOnCaption;
        for (int i = 0; i < frames; ++i) {
            // The device counts 1001 to 60000 and then starts again at 1000.
            int before = last - i;
            if (before < 1000)
                before += 59001;
            const auto sent =
                SentAt[static_cast<std::uint16_t>(before)].load(std::memory_order_relaxed);
            Latencies.push_back(now - sent);
            if (Paints == nullptr)
                continue;
            AwaitingReadOut_.push_back(sent);
            if (waveform)
                AwaitingWave_.push_back(sent);
        }
        return handled;
    }

private:
    bool Picture(QEvent* e)
    {
        if (Paints == nullptr)
            return rv::TForm1::event(e);
        const auto parts = rv::Parts(*this);
        const std::int64_t all = Paints->All();
        const std::int64_t readOut = Paints->Of(parts.Label4);
        const std::int64_t wave = Paints->Of(parts.Chart1);
        const bool handled = rv::TForm1::event(e);
        const auto now = Clock::now().time_since_epoch().count();
        if (Paints->All() != all)
            ++Pictures;
        const auto settle = [now](std::vector<Clock::rep>& awaiting, std::vector<Clock::rep>& to) {
            for (const Clock::rep sent : awaiting)
                to.push_back(now - sent);
            awaiting.clear();
        };
        if (Paints->Of(parts.Label4) != readOut)
            settle(AwaitingReadOut_, Shown);
        if (Paints->Of(parts.Chart1) != wave)
            settle(AwaitingWave_, Waved);
        return handled;
    }

    std::vector<Clock::rep> AwaitingReadOut_;
    std::vector<Clock::rep> AwaitingWave_;
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
    const auto rate = static_cast<int>(state.range(2));
    const bool shown = presentation == 2;
    rv::bench::PseudoTerminal pty;
    if (!pty.IsOpen()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }

    for (auto _ : state) {
        QuietSink sink;
        TimedForm form(&sink, [] { return QStringList(); });
        form.AttachSerialLink(rv::MakeSystemPlatform());
        Parts(form).ComboBox1->setEditText(QString::fromLatin1(pty.Name));
        Parts(form).ComboBox2->setCurrentIndex(1);
        if (shown)
            form.show();
        Parts(form).BitBtn1->click();
        if (presentation >= 1) {
            Parts(form).Button5->click(); // hex echo on
            Parts(form).BitBtn2->click(); // waveform on
        }
        if (form.Link()->Connection().State() != rv::ConnectionState::Open) {
            state.SkipWithError("port did not open");
            break;
        }
        const auto expected = static_cast<std::size_t>(rate * (seconds + 1));
        form.Latencies.reserve(expected);
        form.Shown.reserve(expected);
        form.Waved.reserve(expected);

        rv::bench::PacedDevice device(
            pty.Master, rv::MeasurementFrame::MaxSize, 1,
            [seq = std::uint16_t{1000}](std::span<std::uint8_t> bytes) mutable {
                ++seq;
                if (seq > 60000)
                    seq = 1000; // keeps the read-out's text length steady
                const auto n = rv::MeasurementFrame::ForReading(seq, 3).Encode(bytes);
                SentAt[seq].store(Clock::now().time_since_epoch().count(),
                                  std::memory_order_relaxed);
                return n;
            },
            rate);

        PaintCounter paints;
        if (shown)
            form.Paints = &paints;
        const auto times =
            rv::bench::ServeWhileDeviceWrites(device, seconds, [](Clock::duration d) {
                RunLoopFor(std::chrono::duration_cast<std::chrono::milliseconds>(d));
            });
        Parts(form).Button1->click();
        form.Paints = nullptr;

        rv::bench::SetReceiveCounters(state, times, static_cast<double>(Parts(form).RxCount / 8),
                                      device.Sent(), form.Notifications, form.Latencies);
        state.counters["widget_paints_per_s"] = static_cast<double>(paints.Most()) / times.Elapsed;
        state.counters["paints_per_s"] = static_cast<double>(paints.All()) / times.Elapsed;
        if (shown) {
            state.counters["updates_per_s"] = static_cast<double>(form.Pictures) / times.Elapsed;
            state.counters["chart_pictures_per_s"] =
                static_cast<double>(paints.Of(Parts(form).Chart1)) / times.Elapsed;
            state.counters["us_per_update"] =
                form.Pictures > 0 ? 1e6 * times.Cpu / static_cast<double>(form.Pictures) : 0.0;
            const auto ms = [](std::vector<Clock::rep>& v, double p) {
                if (v.empty())
                    return 0.0;
                std::sort(v.begin(), v.end());
                const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1));
                return std::chrono::duration<double, std::milli>(Clock::duration(v[i])).count();
            };
            state.counters["shown_p50_ms"] = ms(form.Shown, 0.5);
            state.counters["shown_p99_ms"] = ms(form.Shown, 0.99);
            state.counters["shown_max_ms"] = ms(form.Shown, 1.0);
            state.counters["wave_p99_ms"] = ms(form.Waved, 0.99);
            state.counters["wave_max_ms"] = ms(form.Waved, 1.0);
        }
        if (sink.Shown != 0)
            state.SkipWithError("the window reported a failure");
    }
}

BENCHMARK(BM_WindowReceivePathAt115200FrameRate)
    ->Args({5, 0, FramesPerSecond})
    ->Args({5, 1, FramesPerSecond})
    ->Args({30, 2, 0})
    ->Args({30, 2, 10})
    ->Args({30, 2, 100})
    ->Args({30, 2, FramesPerSecond})
    ->ArgNames({"seconds", "presentation", "rate"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

// Shows one of two prepared pictures, the other each time it is painted.
class Flipper final : public QWidget {
public:
    explicit Flipper(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }
    void Prepare()
    {
        const QSize device = size() * devicePixelRatioF();
        for (int i = 0; i < 2; ++i) {
            Pictures_[i] = QImage(device, QImage::Format_RGB32);
            Pictures_[i].fill(i == 0 ? QColor(0xb5, 0xbc, 0xca) : QColor(Qt::white));
            Pictures_[i].setDevicePixelRatio(devicePixelRatioF());
        }
    }
    std::int64_t Painted = 0;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, Pictures_[++Painted & 1]);
    }

private:
    QImage Pictures_[2];
};

void BM_BareWindowPictures(benchmark::State& state)
{
    const auto seconds = static_cast<int>(state.range(0));
    // The window's size and the waveform's place, taken from a window that is gone before the
    // measurement.
    QSize size;
    QRect chart;
    {
        QuietSink sink;
        rv::TForm1 form(&sink, [] { return QStringList(); });
        size = form.size();
        chart = Parts(form).Chart1->geometry();
    }
    for (auto _ : state) {
        QWidget window;
        window.setFixedSize(size);
        auto* picture = new Flipper(&window);
        picture->setGeometry(chart);
        window.show();
        picture->Prepare();
        RunLoopFor(std::chrono::milliseconds(500));
        const qreal hz = window.screen() ? window.screen()->refreshRate() : 60.0;
        QTimer frame;
        frame.setTimerType(Qt::PreciseTimer);
        frame.callOnTimeout(picture, [picture] { picture->update(); });
        frame.start(static_cast<int>(1000.0 / (hz > 1 ? hz : 60.0)));
        const std::int64_t painted = picture->Painted;
        const double cpu0 = rv::bench::ProcessCpuSeconds();
        const auto start = Clock::now();
        RunLoopFor(std::chrono::seconds(seconds));
        const double cpu = rv::bench::ProcessCpuSeconds() - cpu0;
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        const auto pictures = static_cast<double>(picture->Painted - painted);
        state.counters["cpu_pct"] = 100.0 * cpu / elapsed;
        state.counters["pictures_per_s"] = pictures / elapsed;
        state.counters["us_per_picture"] = pictures > 0 ? 1e6 * cpu / pictures : 0.0;
    }
}

BENCHMARK(BM_BareWindowPictures)
    ->Arg(30)
    ->ArgName("seconds")
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
