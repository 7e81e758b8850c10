// Cost of ProcessReceivedBytes with hex echo and waveform on, per second of data at 115200 baud
// (1440 frames, 11520 bytes, delivered in reads of 64 bytes), painting excluded: once on a
// fresh window and once after an hour's worth of log text and points has piled up. The
// _8ByteReads cases deliver one frame per read, as the window gets them at the full rate, with
// the log piled up the same way. The _Presented cases add the log's sixty pictures a second,
// once with the caret at the end of the log and once with the user's caret at its top (the
// echo then goes in at the caret). BM_LogRepaint draws the log at its top, middle and end.
//
//   build-*/bench/ui/ui_receive_bench --benchmark_counters_tabular=true
#include "rangeview/chart/Series.h"
#include "rangeview/protocol/FrameDecoder.h"
#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/ui/LogMemo.h"
#include "rangeview/ui/MessageSink.h"
#include "rangeview/ui/TForm1TestAccess.h"
#include "rangeview/ui/Unit1.h"

#include <QApplication>
#include <QPushButton>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace {

constexpr int FramesPerSecond = 1440;
constexpr std::size_t DefaultReadSize = 64;

class QuietSink : public rv::MessageSink {
public:
    void ShowNotice(const QString&, const QString&) override { }
    void ShowShortMessage(const QString&, const QString&) override { }
    void ShowErrorReport(const QString&) override { }
    void ShowOwnedBox(QWidget*, const QString&, const QString&) override { }
};

std::uint16_t DistanceAt(std::int64_t i)
{
    return static_cast<std::uint16_t>(
        1500 + std::lround(300 * std::sin(static_cast<double>(i) / 90.0)) + (i * 7919) % 13);
}

std::vector<std::uint8_t> OneSecond(std::int64_t firstFrame)
{
    std::vector<std::uint8_t> stream;
    stream.reserve(FramesPerSecond * 8);
    for (int f = 0; f < FramesPerSecond; ++f) {
        const auto frame = rv::MeasurementFrame::ForReading(DistanceAt(firstFrame + f), 3);
        std::uint8_t bytes[rv::MeasurementFrame::MaxSize];
        const std::size_t n = frame.Encode(bytes);
        stream.insert(stream.end(), bytes, bytes + n);
    }
    return stream;
}

// One second of the stream, as the receive path hands it over.
std::vector<std::vector<std::uint8_t>> OneSecondOfReads(std::int64_t firstFrame,
                                                        std::size_t readSize)
{
    const std::vector<std::uint8_t> stream = OneSecond(firstFrame);
    std::vector<std::vector<std::uint8_t>> reads;
    for (std::size_t at = 0; at < stream.size(); at += readSize)
        reads.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                           stream.begin() +
                               static_cast<std::ptrdiff_t>(std::min(at + readSize, stream.size())));
    return reads;
}

// The echo text the log holds after `seconds` of data in reads of readSize bytes, built the
// way ProcessReceivedBytes builds it, in pieces of ten seconds.
class LogPile {
public:
    explicit LogPile(std::size_t readSize) : ReadSize_(readSize) { }

    QString TenSeconds()
    {
        QString all;
        for (int s = 0; s < 10; ++s) {
            const auto stream = OneSecond(Frame_);
            Frame_ += FramesPerSecond;
            for (std::size_t at = 0; at < stream.size(); at += ReadSize_) {
                QString text;
                const std::size_t end = std::min(at + ReadSize_, stream.size());
                for (std::size_t i = at; i < end; ++i) {
                    constexpr char digits[] = "0123456789ABCDEF";
                    text += QLatin1Char(digits[stream[i] >> 4]);
                    text += QLatin1Char(digits[stream[i] & 15]);
                    text += QLatin1Char(' ');
                    if (Decoder_.FeedByte(stream[i]))
                        text += QStringLiteral("\r\n");
                }
                all += text;
            }
        }
        return all;
    }

private:
    std::size_t ReadSize_;
    std::int64_t Frame_ = 0;
    rv::FrameDecoder Decoder_;
};

struct Window {
    QuietSink sink;
    std::unique_ptr<rv::TForm1> form;

    Window()
    {
        form = std::make_unique<rv::TForm1>(&sink, [] { return QStringList(); });
        form->show();
        Parts(form).Button5->click(); // echo on
        Parts(form).BitBtn2->click(); // waveform on
        QCoreApplication::processEvents();
    }

    // An hour of data without going byte by byte: the log gets the same text in large pieces
    // and the series the same points (through the tracker).
    void PileUp(int seconds, bool log = true, bool points = true,
                std::size_t readSize = DefaultReadSize)
    {
        if (log)
            PileUpLog(seconds, readSize);
        if (points)
            PileUpPoints(seconds);
        QCoreApplication::processEvents();
        std::fprintf(stderr, "piled up %d s of data\n", seconds);
    }

    void PileUpLog(int seconds, std::size_t readSize)
    {
        LogPile pile(readSize);
        for (int s = 0; s < seconds; s += 10)
            Parts(form).Memo1->ReplaceSelection(pile.TenSeconds());
    }

    void PileUpPoints(int seconds)
    {
        // The points go the real way, in large reads with the echo off for the while.
        Parts(form).Button5->click();
        for (int sec = 0; sec < seconds; ++sec) {
            const auto stream = OneSecond(Parts(form).SampleIndex);
            for (std::size_t at = 0; at < stream.size(); at += 10240)
                form->ProcessReceivedBytes(std::span<const std::uint8_t>(stream).subspan(
                    at, std::min<std::size_t>(10240, stream.size() - at)));
        }
        Parts(form).Button5->click();
    }
};

void RunSeconds(benchmark::State& state, Window& w, std::size_t readSize = DefaultReadSize,
                bool presented = false)
{
    std::int64_t frame = Parts(w.form).SampleIndex;
    const auto reads = OneSecondOfReads(frame, readSize);
    const std::size_t perPicture = std::max<std::size_t>(1, reads.size() / 60);
    QWidget* view = Parts(w.form).Memo1->viewport();
    for (auto _ : state) {
        for (std::size_t i = 0; i < reads.size(); ++i) {
            w.form->ProcessReceivedBytes(reads[i]);
            if (presented && i % perPicture == perPicture - 1)
                w.form->RepaintNow(view);
        }
        // Painting and layout of what became visible happen here, outside the measurement.
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["frames"] = static_cast<double>(Parts(w.form).SampleIndex);
    state.counters["log_chars"] = static_cast<double>(Parts(w.form).Memo1->TextLength());
    state.counters["log_lines"] = static_cast<double>(Parts(w.form).Memo1->LineCount());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * FramesPerSecond * 8);
}

void BM_OneSecondOfData_AtStart(benchmark::State& state)
{
    Window w;
    RunSeconds(state, w);
}

void BM_OneSecondOfData_AfterAnHour(benchmark::State& state)
{
    Window w;
    w.PileUp(3600);
    RunSeconds(state, w);
}

// Which of the two piles costs what.
void BM_OneSecondOfData_AfterLogOnly(benchmark::State& state)
{
    Window w;
    w.PileUp(static_cast<int>(state.range(0)), true, false);
    RunSeconds(state, w);
}

void BM_OneSecondOfData_AfterAnHourOfPointsOnly(benchmark::State& state)
{
    Window w;
    w.PileUp(3600, false, true);
    RunSeconds(state, w);
}

void BM_OneSecondOfData_8ByteReads_AtStart(benchmark::State& state)
{
    Window w;
    RunSeconds(state, w, 8);
}

void BM_OneSecondOfData_8ByteReads_AfterLogOnly(benchmark::State& state)
{
    Window w;
    w.PileUp(static_cast<int>(state.range(0)), true, false, 8);
    RunSeconds(state, w, 8);
}

void BM_OneSecondOfData_8ByteReads_Presented_CaretAtEnd(benchmark::State& state)
{
    Window w;
    w.PileUp(static_cast<int>(state.range(0)), true, false, 8);
    RunSeconds(state, w, 8, true);
}

// The user clicked into the log and pressed Ctrl+Home: every read goes in at the top.
void BM_OneSecondOfData_8ByteReads_Presented_CaretAtTop(benchmark::State& state)
{
    Window w;
    w.PileUp(static_cast<int>(state.range(0)), true, false, 8);
    Parts(w.form).Memo1->SetCaret(0);
    RunSeconds(state, w, 8, true);
}

// Drawing the log at its top (0), middle (1) or end (2), after 10 s and after an hour of echo:
// only the visible lines are drawn, so all should cost the same.
void BM_LogRepaint(benchmark::State& state)
{
    Window w;
    w.PileUp(static_cast<int>(state.range(0)), true, false);
    QScrollBar* bar = Parts(w.form).Memo1->verticalScrollBar();
    bar->setValue(static_cast<int>(bar->maximum() * state.range(1) / 2));
    QWidget* view = Parts(w.form).Memo1->viewport();
    for (auto _ : state)
        w.form->RepaintNow(view);
    state.counters["lines_painted"] = Parts(w.form).Memo1->LastPaintedLines();
    state.counters["log_lines"] = static_cast<double>(Parts(w.form).Memo1->LineCount());
}

BENCHMARK(BM_OneSecondOfData_AtStart)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_OneSecondOfData_AfterAnHour)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_OneSecondOfData_AfterLogOnly)
    ->Arg(3600)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);
BENCHMARK(BM_OneSecondOfData_AfterAnHourOfPointsOnly)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);
BENCHMARK(BM_OneSecondOfData_8ByteReads_AtStart)->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_OneSecondOfData_8ByteReads_AfterLogOnly)
    ->Arg(3600)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);
BENCHMARK(BM_OneSecondOfData_8ByteReads_Presented_CaretAtEnd)
    ->Arg(3600)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_OneSecondOfData_8ByteReads_Presented_CaretAtTop)
    ->Arg(3600)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_LogRepaint)
    ->ArgsProduct({{10, 3600}, {0, 1, 2}})
    ->ArgNames({"seconds", "at"})
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
