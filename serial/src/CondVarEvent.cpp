#include "rangeview/serial/CondVarEvent.h"

namespace rv {

void CondVarEvent::Set()
{
    {
        std::lock_guard lock(Mutex_);
        if (Released_ || Signalled_)
            return;
        Signalled_ = true;
    }
    Changed_.notify_all();
}

void CondVarEvent::Reset()
{
    std::lock_guard lock(Mutex_);
    if (!Released_)
        Signalled_ = false;
}

WaitResult CondVarEvent::Wait(std::optional<std::chrono::milliseconds> timeout)
{
    std::unique_lock lock(Mutex_);
    const auto ready = [this] { return Released_ || Signalled_; };
    if (timeout) {
        if (!Changed_.wait_for(lock, *timeout, ready))
            return WaitResult::TimedOut;
    } else {
        Changed_.wait(lock, ready);
    }
    return Released_ ? WaitResult::Released : WaitResult::Signalled;
}

bool CondVarEvent::IsSignalled() const
{
    std::lock_guard lock(Mutex_);
    return Signalled_ && !Released_;
}

void CondVarEvent::Close()
{
    {
        std::lock_guard lock(Mutex_);
        if (Released_)
            return;
        Released_ = true;
    }
    Changed_.notify_all();
}

bool CondVarEvent::IsReleased() const
{
    std::lock_guard lock(Mutex_);
    return Released_;
}

} // namespace rv
