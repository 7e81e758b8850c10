#include "rangeview/serial/FakePlatform.h"

#include <algorithm>
#include <utility>

namespace rv {

namespace fake {

void Control::FailCall(FakeOp op, int nth)
{
    std::lock_guard lock(Mutex_);
    Countdown_[static_cast<std::size_t>(op)] = nth;
}

void Control::FailAlways(FakeOp op, bool on)
{
    std::lock_guard lock(Mutex_);
    Always_[static_cast<std::size_t>(op)] = on;
}

void Control::SetFailureError(FakeOp op, SystemError error)
{
    std::lock_guard lock(Mutex_);
    Errors_[static_cast<std::size_t>(op)] = std::move(error);
}

bool Control::Fails(FakeOp op, std::string_view port)
{
    std::optional<SystemError> error;
    {
        std::lock_guard lock(Mutex_);
        const auto i = static_cast<std::size_t>(op);
        ++Calls_[i];
        const bool fails = Always_[i] || (Countdown_[i] > 0 && --Countdown_[i] == 0);
        if (!fails)
            return false;
        error = Errors_[i];
    }
    // Outside the lock: the sink may ask for anything, call counts included.
    if (error) {
        if (error->Port.empty())
            error->Port = std::string(port);
        ReportSystemError(std::move(*error));
    }
    return true;
}

int Control::Calls(FakeOp op) const
{
    std::lock_guard lock(Mutex_);
    return Calls_[static_cast<std::size_t>(op)];
}

} // namespace fake

// --- FakeEvent

void FakeEvent::Set()
{
    if (Event_.IsReleased() && Control_->OnWindowThread())
        ++UsesAfterRelease_;
    Event_.Set();
}

void FakeEvent::Reset()
{
    if (Event_.IsReleased() && Control_->OnWindowThread())
        ++UsesAfterRelease_;
    Event_.Reset();
}

WaitResult FakeEvent::Wait(std::optional<std::chrono::milliseconds> timeout)
{
    return Event_.Wait(timeout);
}

void FakeEvent::Close()
{
    ++Releases_;
    Event_.Close();
}

// --- FakePort

FakePort::FakePort(std::string name, std::shared_ptr<fake::Control> control)
    : Name_(std::move(name)), Control_(std::move(control))
{
}

void FakePort::Inject(std::vector<std::uint8_t> bytes)
{
    {
        std::lock_guard lock(Mutex_);
        if (Released_)
            return;
        Queue_.insert(Queue_.end(), bytes.begin(), bytes.end());
        Edge_ = true;
    }
    Changed_.notify_all();
}

void FakePort::Hangup()
{
    {
        std::lock_guard lock(Mutex_);
        Vanished_ = true;
        Queue_.clear();
        Edge_ = true;
    }
    Changed_.notify_all();
}

void FakePort::SetWriteBehaviour(FakeWrite behaviour)
{
    std::lock_guard lock(Mutex_);
    WriteBehaviour_ = behaviour;
}

void FakePort::SetInitialSettings(const LineSettings& settings)
{
    std::lock_guard lock(Mutex_);
    Settings_ = settings;
}

void FakePort::SetLineErrors(std::uint32_t errors)
{
    std::lock_guard lock(Mutex_);
    LineErrors_ = errors;
}

bool FakePort::WaitForWaiter(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(Mutex_);
    return Changed_.wait_for(lock, timeout, [this] { return Waiters_ > 0; });
}

std::vector<std::uint8_t> FakePort::Written() const
{
    std::lock_guard lock(Mutex_);
    return Written_;
}

LineSettings FakePort::Settings() const
{
    std::lock_guard lock(Mutex_);
    return Settings_;
}

std::vector<std::uint32_t> FakePort::Purges() const
{
    std::lock_guard lock(Mutex_);
    return Purges_;
}

std::vector<std::uint32_t> FakePort::Masks() const
{
    std::lock_guard lock(Mutex_);
    return Masks_;
}

int FakePort::DtrRaised() const
{
    std::lock_guard lock(Mutex_);
    return DtrRaised_;
}

int FakePort::ReleaseCount() const
{
    std::lock_guard lock(Mutex_);
    return Releases_;
}

int FakePort::UsesAfterRelease() const
{
    std::lock_guard lock(Mutex_);
    return UsesAfterRelease_;
}

std::size_t FakePort::Queued() const
{
    std::lock_guard lock(Mutex_);
    return Queue_.size();
}

std::chrono::milliseconds FakePort::LastWriteBound() const
{
    std::lock_guard lock(Mutex_);
    return LastWriteBound_;
}

bool FakePort::TimeoutsSet() const
{
    std::lock_guard lock(Mutex_);
    return TimeoutsSet_;
}

std::uint32_t FakePort::InQueueAsked() const
{
    std::lock_guard lock(Mutex_);
    return InQueueAsked_;
}

bool FakePort::UsableLocked()
{
    if (!Released_)
        return true;
    if (Control_->OnWindowThread())
        ++UsesAfterRelease_;
    return false;
}

bool FakePort::SetTimeouts(const CommTimeouts& timeouts)
{
    std::lock_guard lock(Mutex_);
    if (!UsableLocked() || Control_->Fails(FakeOp::SetTimeouts, Name_))
        return false;
    TimeoutsSet_ = timeouts.ReadIntervalTimeout == 0xFFFFFFFFu &&
                   timeouts.ReadTotalTimeoutMultiplier == 0 &&
                   timeouts.ReadTotalTimeoutConstant == 0;
    return true;
}

bool FakePort::SetQueueSizes(std::uint32_t inBytes, std::uint32_t)
{
    std::lock_guard lock(Mutex_);
    if (!UsableLocked() || Control_->Fails(FakeOp::SetQueueSizes, Name_))
        return false;
    InQueueAsked_ = inBytes;
    return true;
}

bool FakePort::GetCommState(LineSettings& settings)
{
    std::lock_guard lock(Mutex_);
    if (!UsableLocked() || Control_->Fails(FakeOp::GetCommState, Name_))
        return false;
    settings = Settings_;
    return true;
}

bool FakePort::SetCommState(const LineSettings& settings)
{
    std::lock_guard lock(Mutex_);
    if (!UsableLocked() || Control_->Fails(FakeOp::SetCommState, Name_))
        return false;
    Settings_ = settings;
    return true;
}

bool FakePort::SetCommMask(std::uint32_t mask)
{
    {
        std::lock_guard lock(Mutex_);
        if (!UsableLocked() || Control_->Fails(FakeOp::SetCommMask, Name_))
            return false;
        Masks_.push_back(mask);
        Mask_ = mask;
        ++MaskGeneration_;
    }
    Changed_.notify_all();
    return true;
}

void FakePort::RaiseDtr()
{
    std::lock_guard lock(Mutex_);
    if (UsableLocked())
        ++DtrRaised_;
}

bool FakePort::WaitCommEvent(std::uint32_t& mask, IoRecord&)
{
    std::unique_lock lock(Mutex_);
    // The reader may find the port released between its check and this call; that is no misuse.
    if (Released_ || Control_->Fails(FakeOp::WaitCommEvent, Name_))
        return false;
    const auto armed = Mask_;
    if (armed == 0)
        return false;
    const auto generation = MaskGeneration_;
    ++Waiters_;
    Changed_.notify_all();
    Changed_.wait(lock, [&] {
        return (Edge_ && (armed & EvRxChar)) || MaskGeneration_ != generation || Released_;
    });
    --Waiters_;
    if (MaskGeneration_ != generation || Released_) {
        mask = 0;
        return true;
    }
    Edge_ = false;
    mask = EvRxChar;
    return true;
}

bool FakePort::ClearCommError(std::uint32_t& errors, CommStatus& status)
{
    std::lock_guard lock(Mutex_);
    errors = 0;
    status = {};
    if (!UsableLocked() || Control_->Fails(FakeOp::ClearCommError, Name_))
        return false;
    errors = std::exchange(LineErrors_, 0);
    status.InQueue = Vanished_ ? 1 : static_cast<std::uint32_t>(Queue_.size());
    return true;
}

bool FakePort::Read(std::span<std::uint8_t> buffer, IoRecord& record)
{
    std::lock_guard lock(Mutex_);
    record.BytesTransferred = 0;
    if (!UsableLocked() || Control_->Fails(FakeOp::Read, Name_) || Vanished_)
        return false;
    const auto n = std::min(buffer.size(), Queue_.size());
    std::copy_n(Queue_.begin(), n, buffer.begin());
    Queue_.erase(Queue_.begin(), Queue_.begin() + static_cast<std::ptrdiff_t>(n));
    record.BytesTransferred = static_cast<std::uint32_t>(n);
    return true;
}

WriteStart FakePort::StartWrite(std::span<const std::uint8_t> bytes, IoRecord& record)
{
    std::lock_guard lock(Mutex_);
    record.BytesTransferred = 0;
    Pending_.clear();
    if (!UsableLocked() || Control_->Fails(FakeOp::StartWrite, Name_))
        return WriteStart::Failed;
    if (WriteBehaviour_ == FakeWrite::Complete) {
        Written_.insert(Written_.end(), bytes.begin(), bytes.end());
        record.BytesTransferred = static_cast<std::uint32_t>(bytes.size());
        if (record.Event)
            record.Event->Set();
        return WriteStart::Completed;
    }
    Pending_.assign(bytes.begin(), bytes.end());
    return WriteStart::Pending;
}

bool FakePort::FinishWrite(IoRecord& record, std::chrono::milliseconds bound)
{
    std::lock_guard lock(Mutex_);
    LastWriteBound_ = bound;
    if (!UsableLocked() || Control_->Fails(FakeOp::FinishWrite, Name_) ||
        WriteBehaviour_ != FakeWrite::PendThenComplete) {
        Pending_.clear();
        return false;
    }
    Written_.insert(Written_.end(), Pending_.begin(), Pending_.end());
    record.BytesTransferred = static_cast<std::uint32_t>(Pending_.size());
    Pending_.clear();
    if (record.Event)
        record.Event->Set();
    return true;
}

bool FakePort::Purge(std::uint32_t flags)
{
    std::lock_guard lock(Mutex_);
    if (!UsableLocked() || Control_->Fails(FakeOp::Purge, Name_))
        return false;
    Purges_.push_back(flags);
    if (flags & PurgeRxClear)
        Queue_.clear();
    if (flags & PurgeTxAbort)
        Pending_.clear();
    return true;
}

void FakePort::Close()
{
    {
        std::lock_guard lock(Mutex_);
        ++Releases_;
        Released_ = true;
        Queue_.clear();
    }
    Changed_.notify_all();
}

bool FakePort::IsReleased() const
{
    std::lock_guard lock(Mutex_);
    return Released_;
}

// --- FakePlatform

FakePlatform::FakePlatform()
    : Control_(std::make_shared<fake::Control>()), Book_(std::make_shared<fake::ThreadBook>())
{
}

FakePlatform::~FakePlatform()
{
    ReleaseHeldThreads();
    const bool ended = WaitThreadsEnded(std::chrono::seconds(5));
    std::lock_guard lock(Mutex_);
    for (auto& t : Threads_) {
        if (ended && t.get_id() != std::this_thread::get_id())
            t.join();
        else
            t.detach();
    }
}

void FakePlatform::SetAbsentPorts(std::vector<std::string> names)
{
    std::lock_guard lock(Mutex_);
    Absent_ = std::move(names);
}

void FakePlatform::HoldThreads(bool hold)
{
    std::lock_guard lock(Mutex_);
    Hold_ = hold;
}

void FakePlatform::ReleaseHeldThreads()
{
    std::vector<HeldThread> held;
    {
        std::lock_guard lock(Mutex_);
        held.swap(Held_);
    }
    for (auto& thread : held)
        Launch(std::move(thread.Body), std::move(thread.State));
}

std::shared_ptr<FakePort> FakePlatform::LastPort() const
{
    std::lock_guard lock(Mutex_);
    return Ports_.empty() ? nullptr : Ports_.back();
}

std::vector<std::shared_ptr<FakePort>> FakePlatform::Ports() const
{
    std::lock_guard lock(Mutex_);
    return Ports_;
}

std::vector<std::shared_ptr<FakeEvent>> FakePlatform::Events() const
{
    std::lock_guard lock(Mutex_);
    return Events_;
}

std::vector<std::string> FakePlatform::OpenedNames() const
{
    std::lock_guard lock(Mutex_);
    return OpenedNames_;
}

int FakePlatform::ThreadsStarted() const
{
    std::lock_guard lock(Mutex_);
    return Started_;
}

int FakePlatform::ThreadsRunning() const
{
    std::lock_guard lock(Book_->Mutex);
    return Book_->Running;
}

int FakePlatform::ThreadsJoined() const
{
    std::lock_guard lock(Book_->Mutex);
    return Book_->Joined;
}

bool FakePlatform::WaitThreadsEnded(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(Book_->Mutex);
    return Book_->Ended.wait_for(lock, timeout, [this] { return Book_->Running == 0; });
}

std::shared_ptr<ManualResetEvent> FakePlatform::NewEvent(bool initiallySignalled)
{
    if (Control_->Fails(FakeOp::NewEvent))
        return nullptr;
    auto event = std::make_shared<FakeEvent>(initiallySignalled, Control_);
    std::lock_guard lock(Mutex_);
    Events_.push_back(event);
    return event;
}

std::shared_ptr<SerialPort> FakePlatform::OpenPort(std::string_view name)
{
    {
        std::lock_guard lock(Mutex_);
        OpenedNames_.emplace_back(name);
    }
    if (Control_->Fails(FakeOp::OpenPort, name))
        return nullptr;
    std::lock_guard lock(Mutex_);
    if (std::find(Absent_.begin(), Absent_.end(), std::string(name)) != Absent_.end())
        return nullptr;
    // Exclusive, as the real port: a name still held by an earlier open cannot be opened.
    for (const auto& port : Ports_)
        if (port->Name() == name && !port->IsReleased())
            return nullptr;
    auto port = std::make_shared<FakePort>(std::string(name), Control_);
    Ports_.push_back(port);
    return port;
}

namespace {

class FakeThread final : public PlatformThread {
public:
    FakeThread(std::shared_ptr<fake::ThreadState> state, std::shared_ptr<fake::ThreadBook> book)
        : State_(std::move(state)), Book_(std::move(book))
    {
    }

    bool Join(std::chrono::milliseconds bound) override
    {
        {
            std::unique_lock lock(State_->Mutex);
            if (State_->Held)
                return false; // only the test can let it run, and the test is here, joining
            if (!State_->Changed.wait_for(lock, bound, [this] { return State_->Ended; }))
                return false;
        }
        if (!Counted_) {
            Counted_ = true;
            std::lock_guard lock(Book_->Mutex);
            ++Book_->Joined;
        }
        return true;
    }

private:
    const std::shared_ptr<fake::ThreadState> State_;
    const std::shared_ptr<fake::ThreadBook> Book_;
    bool Counted_ = false;
};

} // namespace

std::unique_ptr<PlatformThread> FakePlatform::StartThread(std::function<void()> body)
{
    if (Control_->Fails(FakeOp::StartThread))
        return nullptr;
    auto state = std::make_shared<fake::ThreadState>();
    auto handle = std::make_unique<FakeThread>(state, Book_);
    {
        std::lock_guard lock(Mutex_);
        ++Started_;
        if (Hold_) {
            state->Held = true;
            Held_.push_back({std::move(body), std::move(state)});
            return handle;
        }
    }
    Launch(std::move(body), std::move(state));
    return handle;
}

void FakePlatform::Launch(std::function<void()> body, std::shared_ptr<fake::ThreadState> state)
{
    {
        std::lock_guard lock(Book_->Mutex);
        ++Book_->Running;
    }
    {
        std::lock_guard lock(state->Mutex);
        state->Held = false;
    }
    std::lock_guard lock(Mutex_);
    Threads_.emplace_back(
        [book = Book_, body = std::move(body), state = std::move(state)]() mutable {
            try {
                body();
            } catch (...) {
            }
            // What the body holds (this platform among it) goes before the thread counts as ended;
            // the book outlives the platform, so this is safe even if that was the last reference.
            body = nullptr;
            {
                std::lock_guard done(book->Mutex);
                --book->Running;
                book->Ended.notify_all();
            }
            // Last: a join that sees the end finds the thread counted out already.
            {
                std::lock_guard ended(state->Mutex);
                state->Ended = true;
            }
            state->Changed.notify_all();
        });
}

} // namespace rv
