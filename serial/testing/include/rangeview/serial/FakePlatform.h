#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "rangeview/serial/CondVarEvent.h"
#include "rangeview/serial/SerialPlatform.h"

namespace rv {

// A serial platform in memory, for tests of the connection and of the window: any single
// operation can be made to fail, bytes can be made to arrive, writes can pend, complete late or
// fail, and the device can vanish. It also records what was done to it, including any use or
// release of an object that was already released.

enum class FakeOp {
    NewEvent,
    OpenPort,
    StartThread,
    SetTimeouts,
    SetQueueSizes,
    GetCommState,
    SetCommState,
    SetCommMask,
    WaitCommEvent,
    ClearCommError,
    Read,
    StartWrite,
    FinishWrite,
    Purge,
    Count_
};

enum class FakeWrite {
    Complete, // taken at once
    PendThenComplete, // pends, FinishWrite succeeds
    PendThenFail // pends, FinishWrite fails (as when the bound expires)
};

namespace fake {

// Failure plan and call counts, shared by the platform and everything it made.
class Control {
public:
    void FailCall(FakeOp op, int nth);
    void FailAlways(FakeOp op, bool on);
    void SetFailureError(FakeOp op, SystemError error);
    // Counts the call; true when it is to fail, after reporting the failure's error (if one was
    // set) for the named port.
    bool Fails(FakeOp op, std::string_view port = {});
    int Calls(FakeOp op) const;
    // The thread that made the platform plays the window thread. Only its uses of released
    // objects count as misuse: a reader may lose a race against a release, which its shared
    // reference makes harmless.
    bool OnWindowThread() const { return std::this_thread::get_id() == WindowThread_; }

private:
    static constexpr std::size_t N = static_cast<std::size_t>(FakeOp::Count_);
    mutable std::mutex Mutex_;
    std::array<int, N> Countdown_{};
    std::array<bool, N> Always_{};
    std::array<int, N> Calls_{};
    std::array<std::optional<SystemError>, N> Errors_{};
    const std::thread::id WindowThread_ = std::this_thread::get_id();
};

struct ThreadBook {
    std::mutex Mutex;
    std::condition_variable Ended;
    int Running = 0;
    int Joined = 0; // joins that saw their thread end
};

// One started thread: held back (not yet running), running, or ended.
struct ThreadState {
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Held = false;
    bool Ended = false;
};

} // namespace fake

class FakeEvent final : public ManualResetEvent {
public:
    FakeEvent(bool initiallySignalled, std::shared_ptr<fake::Control> control)
        : Event_(initiallySignalled), Control_(std::move(control))
    {
    }
    void Set() override;
    void Reset() override;
    WaitResult Wait(std::optional<std::chrono::milliseconds> timeout = std::nullopt) override;
    bool IsSignalled() const override { return Event_.IsSignalled(); }
    void Close() override;
    bool IsReleased() const override { return Event_.IsReleased(); }

    int ReleaseCount() const { return Releases_.load(); } // more than 1: released twice
    // Set/Reset on the window thread when released.
    int UsesAfterRelease() const { return UsesAfterRelease_.load(); }

private:
    CondVarEvent Event_;
    const std::shared_ptr<fake::Control> Control_;
    std::atomic<int> Releases_{0};
    std::atomic<int> UsesAfterRelease_{0};
};

class FakePort final : public SerialPort {
public:
    FakePort(std::string name, std::shared_ptr<fake::Control> control);

    // --- what the test does to the port
    void Inject(std::vector<std::uint8_t> bytes); // bytes arrive
    void Hangup(); // the device vanishes: seen as an arrival, then every read fails
    void SetWriteBehaviour(FakeWrite behaviour);
    void SetInitialSettings(const LineSettings& settings);
    // The next ClearCommError reports (and clears) these line errors.
    void SetLineErrors(std::uint32_t errors);
    // Waits until a reader is blocked in WaitCommEvent.
    bool WaitForWaiter(std::chrono::milliseconds timeout) const;

    // --- what was done to it
    const std::string& Name() const { return Name_; }
    std::vector<std::uint8_t> Written() const;
    LineSettings Settings() const;
    std::vector<std::uint32_t> Purges() const;
    std::vector<std::uint32_t> Masks() const;
    int DtrRaised() const;
    int ReleaseCount() const; // more than 1: released twice
    int UsesAfterRelease() const; // window-thread operations on the released port
    std::size_t Queued() const;
    std::chrono::milliseconds LastWriteBound() const;
    bool TimeoutsSet() const;
    std::uint32_t InQueueAsked() const;

    // --- SerialPort
    bool SetTimeouts(const CommTimeouts& timeouts) override;
    bool SetQueueSizes(std::uint32_t inBytes, std::uint32_t outBytes) override;
    bool GetCommState(LineSettings& settings) override;
    bool SetCommState(const LineSettings& settings) override;
    bool SetCommMask(std::uint32_t mask) override;
    void RaiseDtr() override;
    bool WaitCommEvent(std::uint32_t& mask, IoRecord& record) override;
    bool ClearCommError(std::uint32_t& errors, CommStatus& status) override;
    bool Read(std::span<std::uint8_t> buffer, IoRecord& record) override;
    WriteStart StartWrite(std::span<const std::uint8_t> bytes, IoRecord& record) override;
    bool FinishWrite(IoRecord& record, std::chrono::milliseconds bound) override;
    bool Purge(std::uint32_t flags) override;
    void Close() override;
    bool IsReleased() const override;

private:
    bool UsableLocked(); // counts a use after release

    const std::string Name_;
    const std::shared_ptr<fake::Control> Control_;
    mutable std::mutex Mutex_;
    mutable std::condition_variable Changed_;
    std::deque<std::uint8_t> Queue_;
    std::vector<std::uint8_t> Written_;
    std::vector<std::uint8_t> Pending_;
    std::vector<std::uint32_t> Purges_;
    std::vector<std::uint32_t> Masks_;
    LineSettings Settings_{1200, 7, 2, 2};
    FakeWrite WriteBehaviour_ = FakeWrite::Complete;
    std::chrono::milliseconds LastWriteBound_{0};
    std::uint32_t Mask_ = 0;
    std::uint32_t LineErrors_ = 0;
    std::uint64_t MaskGeneration_ = 0;
    bool Edge_ = false;
    bool Vanished_ = false;
    bool Released_ = false;
    bool TimeoutsSet_ = false;
    std::uint32_t InQueueAsked_ = 0;
    int Waiters_ = 0;
    int DtrRaised_ = 0;
    int Releases_ = 0;
    int UsesAfterRelease_ = 0;
};

class FakePlatform final : public SerialPlatform {
public:
    FakePlatform();
    // Waits a little for threads still running, then leaves any that hang (the test has failed).
    ~FakePlatform() override;

    // The nth call of op from now on fails (1: the next one).
    void FailCall(FakeOp op, int nth = 1) { Control_->FailCall(op, nth); }
    void FailAlways(FakeOp op, bool on = true) { Control_->FailAlways(op, on); }
    // From now on every failure of op also reports this error through ReportSystemError, as a
    // system backend reports the system's reason. An empty Port is filled in with the port's name.
    // The sink runs while the port's lock is held: it must not call back into the port.
    void SetFailureError(FakeOp op, SystemError error)
    {
        Control_->SetFailureError(op, std::move(error));
    }
    int Calls(FakeOp op) const { return Control_->Calls(op); }

    // Names that OpenPort refuses, as a port held by another program would be.
    void SetAbsentPorts(std::vector<std::string> names);
    // While held, started threads wait to be let go by ReleaseHeldThreads.
    void HoldThreads(bool hold);
    void ReleaseHeldThreads();

    std::shared_ptr<FakePort> LastPort() const;
    std::vector<std::shared_ptr<FakePort>> Ports() const;
    std::vector<std::shared_ptr<FakeEvent>> Events() const;
    std::vector<std::string> OpenedNames() const;
    int ThreadsStarted() const;
    int ThreadsRunning() const;
    // Joins that found their thread ended. A held thread cannot end, so its join fails at once.
    int ThreadsJoined() const;
    // True when every started (and let go) thread has ended within the time.
    bool WaitThreadsEnded(std::chrono::milliseconds timeout) const;

    std::shared_ptr<ManualResetEvent> NewEvent(bool initiallySignalled) override;
    std::shared_ptr<SerialPort> OpenPort(std::string_view name) override;
    std::unique_ptr<PlatformThread> StartThread(std::function<void()> body) override;

private:
    struct HeldThread {
        std::function<void()> Body;
        std::shared_ptr<fake::ThreadState> State;
    };
    void Launch(std::function<void()> body, std::shared_ptr<fake::ThreadState> state);

    const std::shared_ptr<fake::Control> Control_;
    const std::shared_ptr<fake::ThreadBook> Book_;
    mutable std::mutex Mutex_;
    std::vector<std::shared_ptr<FakePort>> Ports_;
    std::vector<std::shared_ptr<FakeEvent>> Events_;
    std::vector<std::string> OpenedNames_;
    std::vector<std::string> Absent_;
    std::vector<HeldThread> Held_;
    std::vector<std::thread> Threads_;
    bool Hold_ = false;
    int Started_ = 0;
};

} // namespace rv
