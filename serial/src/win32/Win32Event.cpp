#include "Win32Event.h"

#include <algorithm>

#include "SystemErrorText.h"

namespace rv::win32 {

std::shared_ptr<Win32Event> Win32Event::Create(bool initiallySignalled)
{
    const HANDLE event = ::CreateEventA(nullptr, TRUE, initiallySignalled ? TRUE : FALSE, nullptr);
    if (event == nullptr) {
        ReportFailure({}, "CreateEventA", ::GetLastError());
        return nullptr;
    }
    const HANDLE released = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (released == nullptr) {
        ReportFailure({}, "CreateEventA", ::GetLastError());
        ::CloseHandle(event);
        return nullptr;
    }
    try {
        return std::make_shared<Win32Event>(event, released);
    } catch (...) {
        ::CloseHandle(event);
        ::CloseHandle(released);
        return nullptr;
    }
}

Win32Event::Win32Event(HANDLE event, HANDLE released) : Event_(event), ReleasedEvent_(released)
{
}

Win32Event::~Win32Event()
{
    ::CloseHandle(Event_);
    ::CloseHandle(ReleasedEvent_);
}

void Win32Event::Set()
{
    if (!IsReleased())
        ::SetEvent(Event_);
}

void Win32Event::Reset()
{
    if (!IsReleased())
        ::ResetEvent(Event_);
}

WaitResult Win32Event::Wait(std::optional<std::chrono::milliseconds> timeout)
{
    if (IsReleased())
        return WaitResult::Released;
    DWORD limit = INFINITE;
    if (timeout) {
        // INFINITE is 0xFFFFFFFF: a finite wait stays below it.
        const auto ms = std::clamp<long long>(timeout->count(), 0, INFINITE - 1);
        limit = static_cast<DWORD>(ms);
    }
    // The release event first: a released event answers Released even while it is signalled.
    const HANDLE handles[2] = {ReleasedEvent_, Event_};
    switch (::WaitForMultipleObjects(2, handles, FALSE, limit)) {
    case WAIT_OBJECT_0 + 1:
        return WaitResult::Signalled;
    case WAIT_TIMEOUT:
        return WaitResult::TimedOut;
    default:
        return WaitResult::Released;
    }
}

bool Win32Event::IsSignalled() const
{
    return !IsReleased() && ::WaitForSingleObject(Event_, 0) == WAIT_OBJECT_0;
}

void Win32Event::Close()
{
    if (Released_.exchange(true))
        return;
    ::SetEvent(ReleasedEvent_);
}

} // namespace rv::win32
