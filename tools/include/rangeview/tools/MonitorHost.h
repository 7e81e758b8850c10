#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "rangeview/presenter/ConnectionPresenter.h"
#include "rangeview/presenter/LinkMessages.h"
#include "rangeview/serial/ConnectionHost.h"
#include "rangeview/tools/LinkStatistics.h"
#include "rangeview/tools/LoopEvents.h"
#include "rangeview/tools/MonitorObserver.h"
#include "rangeview/tools/Recorder.h"

namespace rv {

// The serial connection's host without a window. The thread that makes it plays the window
// thread. Readings go to `out` as "elapsed_ms,distance_mm,mode" lines, flushed one by one;
// the link's messages go to `err` as single lines and never wait for anyone: the port's path,
// the message, and the system's reason in brackets when the platform gave one.
//
// The window's message queue becomes Events(): the reader thread posts each notification's
// handle there, and the owning loop waits on it and hands what TakeNotifications() returns to
// SerialConnection::OnCommNotify.
class MonitorHost final : public ConnectionHost, public MessageSurface {
public:
    using Clock = std::chrono::steady_clock;

    // offThreadErrFd: where a notice raised on another thread (the reader) is written, with one
    // unbuffered write, since `err` belongs to the owning thread.
    MonitorHost(std::ostream& out, std::ostream& err, int offThreadErrFd);
    ~MonitorHost() override;
    MonitorHost(const MonitorHost&) = delete;
    MonitorHost& operator=(const MonitorHost&) = delete;

    // False when the notification queue could not be made; nothing else works then.
    bool Ok() const { return Events_.Ok(); }
    LoopEvents& Events() { return Events_; }
    // Takes queued notifications without waiting; returns how many were put into `out`.
    std::size_t TakeNotifications(std::span<CommHandle> out) { return Events_.Take(out); }
    // True once a notification could not be queued (the reader has given up then).
    bool PostFailed() const { return PostFailed_.load(); }

    // Elapsed times are counted from here.
    void MarkOpened(Clock::time_point when) { Opened_ = when; }
    Clock::time_point Opened() const { return Opened_; }
    // The port's name in messages.
    void SetPortLabel(std::string label) { PortLabel_ = std::move(label); }
    // Readings and received bytes also go here (not owned; null: nowhere).
    void SetRecorder(Recorder* recorder) { Recorder_ = recorder; }
    // Told of the run as it goes (not owned; null: nobody).
    void SetObserver(MonitorObserver* observer) { Observer_ = observer; }
    MonitorObserver* Observer() const { return Observer_; }
    CountingDecoder& Decoder() { return Decoder_; }
    LinkStatistics& Statistics() { return Statistics_; }

    // While held, the connection's messages on this thread are kept instead of written, so the
    // caller can fold them into a line of its own or drop them.
    void HoldMessages(bool hold) { Holding_ = hold; }
    std::vector<std::string> TakeHeldMessages();
    // Writes the held messages as usual.
    void ReleaseHeldMessages();
    void SetReadingLimit(std::optional<std::uint64_t> limit) { Limit_ = limit; }
    std::uint64_t Readings() const { return Readings_; }
    bool LimitReached() const { return Limit_ && Readings_ >= *Limit_; }
    bool OutputFailed() const { return OutputFailed_; }
    // The C runtime's errno for the failed output; 0 when it gave none.
    int OutputError() const { return OutputError_; }
    // Lines written to `err` so far (by the owning thread).
    int MessagesShown() const { return MessagesShown_; }

    // The auto-send timer: the next tick, none while disabled or with period 0.
    std::optional<Clock::time_point> NextTick() const;
    // Call when NextTick() has come. Ticks do not pile up: after a late tick the next one is a
    // full period away.
    void TickTaken(Clock::time_point now);
    std::int32_t TxCount() const { return TxCount_; }

    // Writes "rangeview-cli: monitor: TEXT" to err as one line.
    void ErrorLine(std::string_view text);
    // "PATH: TEXT (system reason)", the reason being this thread's last platform failure.
    std::string PortMessage(std::string_view text) const;

    // The presenter the faults go to on the owning thread (not owned; null: none, and each
    // fault's message is shown as it is).
    void SetPresenter(ConnectionPresenter* presenter) { Presenter_ = presenter; }

    // --- MessageSurface: messages as lines, with the reason the connection gives them. Any
    // thread: another thread's (the reader's) go to offThreadErrFd.
    void Show(const LinkMessage& message, const std::optional<SystemError>& reason) override;

    // --- ConnectionHost
    void Fault(ConnectionFault fault, const std::optional<SystemError>& reason) override;
    void PortOpened() override { }
    void PortClosing() override { }
    void PortClosed() override { }
    void TxCountChanged(std::int32_t txCount) override { TxCount_ = txCount; }
    void AutoSendSwitched(bool) override { }
    void EnableTimer(std::uint32_t periodMs) override;
    void DisableTimer() override { TimerEnabled_ = false; }
    void ProcessReceivedBytes(std::span<const std::uint8_t> bytes) override;
    bool PostCommNotify(CommHandle handle) override;

private:
    void EmitReading(const MeasurementReading& reading, Clock::time_point now);
    std::string PortMessage(std::string_view text, const std::optional<SystemError>& reason) const;
    void ConnectionMessage(std::string_view text, const std::optional<SystemError>& reason);

    std::ostream& Out_;
    std::ostream& Err_;
    const int OffThreadErrFd_;
    const std::thread::id OwnerThread_ = std::this_thread::get_id();
    LoopEvents Events_;
    std::atomic<bool> PostFailed_{false};

    CountingDecoder Decoder_;
    LinkStatistics Statistics_;
    Recorder* Recorder_ = nullptr;
    MonitorObserver* Observer_ = nullptr;
    ConnectionPresenter* Presenter_ = nullptr;
    std::string PortLabel_;
    bool Holding_ = false;
    std::vector<std::string> Held_;
    Clock::time_point Opened_ = Clock::now();
    std::optional<std::uint64_t> Limit_;
    std::uint64_t Readings_ = 0;
    bool OutputFailed_ = false;
    int OutputError_ = 0;
    int MessagesShown_ = 0;

    bool TimerEnabled_ = false;
    std::uint32_t TimerPeriod_ = 0;
    Clock::time_point NextTick_{};
    std::int32_t TxCount_ = 0;
};

} // namespace rv
