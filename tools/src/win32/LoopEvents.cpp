#include "rangeview/tools/LoopEvents.h"

#include <algorithm>
#include <atomic>
#include <deque>

#include <windows.h>

namespace rv {

// An I/O completion port used as a queue: the reader posts each notification as a packet, the
// console's stop handler posts a stop packet, and the loop waits on the port.
struct LoopEvents::State {
    HANDLE Port = nullptr;
    std::atomic<bool> StopRequested{false};
    std::deque<CommHandle> Taken; // dequeued while waiting, not yet handed out; owner only
};

namespace {

// Marks the stop packet; notifications carry no OVERLAPPED.
OVERLAPPED StopMarker{};

} // namespace

LoopEvents::LoopEvents() : State_(new State)
{
    State_->Port = ::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
}

LoopEvents::~LoopEvents()
{
    if (State_->Port != nullptr)
        ::CloseHandle(State_->Port);
    delete State_;
}

bool LoopEvents::Ok() const noexcept
{
    return State_->Port != nullptr;
}

bool LoopEvents::Post(CommHandle handle) noexcept
{
    if (!Ok())
        return false;
    // The handle travels in two 32-bit halves, so it survives a 32-bit completion key.
    const auto low = static_cast<DWORD>(handle & 0xFFFFFFFFu);
    const auto high = static_cast<ULONG_PTR>(handle >> 32);
    return ::PostQueuedCompletionStatus(State_->Port, low, high, nullptr) != FALSE;
}

void LoopEvents::RequestStop() noexcept
{
    if (State_->StopRequested.exchange(true) || !Ok())
        return;
    ::PostQueuedCompletionStatus(State_->Port, 0, 0, &StopMarker);
}

LoopEvents::Wake LoopEvents::Wait(std::optional<std::chrono::milliseconds> timeout)
{
    if (!Ok())
        return Wake::Failed;
    if (State_->StopRequested.load())
        return Wake::Stopped;
    if (!State_->Taken.empty())
        return Wake::Notified;
    DWORD ms = INFINITE;
    if (timeout)
        ms = static_cast<DWORD>(std::min<std::chrono::milliseconds::rep>(
            std::max<std::chrono::milliseconds::rep>(timeout->count(), 0), INFINITE - 1));
    DWORD low = 0;
    ULONG_PTR high = 0;
    OVERLAPPED* marker = nullptr;
    if (!::GetQueuedCompletionStatus(State_->Port, &low, &high, &marker, ms))
        return ::GetLastError() == WAIT_TIMEOUT ? Wake::TimedOut : Wake::Failed;
    if (marker == &StopMarker)
        return Wake::Stopped;
    State_->Taken.push_back((static_cast<CommHandle>(high) << 32) | low);
    return State_->StopRequested.load() ? Wake::Stopped : Wake::Notified;
}

std::size_t LoopEvents::Take(std::span<CommHandle> out)
{
    if (!Ok())
        return 0;
    std::size_t count = 0;
    while (count < out.size()) {
        if (!State_->Taken.empty()) {
            out[count++] = State_->Taken.front();
            State_->Taken.pop_front();
            continue;
        }
        DWORD low = 0;
        ULONG_PTR high = 0;
        OVERLAPPED* marker = nullptr;
        if (!::GetQueuedCompletionStatus(State_->Port, &low, &high, &marker, 0))
            break;
        if (marker == &StopMarker)
            continue; // StopRequested already says so
        out[count++] = (static_cast<CommHandle>(high) << 32) | low;
    }
    return count;
}

namespace {

std::atomic<LoopEvents*> StopTarget{nullptr};

BOOL WINAPI OnConsoleControl(DWORD type)
{
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        if (LoopEvents* events = StopTarget.load()) {
            events->RequestStop();
            // The process ends when a close handler returns: give the loop time to close the
            // port and the files.
            if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
                ::Sleep(2000);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

StopSignals::StopSignals(LoopEvents& events)
{
    LoopEvents* expected = nullptr;
    if (!StopTarget.compare_exchange_strong(expected, &events))
        return;
    if (!::SetConsoleCtrlHandler(OnConsoleControl, TRUE)) {
        StopTarget.store(nullptr);
        return;
    }
    Installed_ = true;
}

StopSignals::~StopSignals()
{
    if (!Installed_)
        return;
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    StopTarget.store(nullptr);
}

} // namespace rv
