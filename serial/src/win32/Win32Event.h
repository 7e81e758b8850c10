#pragma once

#include <atomic>
#include <memory>

#include <windows.h>

#include "rangeview/serial/SerialPlatform.h"

namespace rv::win32 {

// An unnamed manual-reset event of the system. Close() signals a second event that every wait
// also watches, so a waiter wakes with Released; the handles themselves are closed only with the
// object, so a thread that still holds it never waits on a recycled handle.
class Win32Event final : public ManualResetEvent {
public:
    // Null when the system has no event to give.
    static std::shared_ptr<Win32Event> Create(bool initiallySignalled);
    Win32Event(HANDLE event, HANDLE released);
    ~Win32Event() override;
    Win32Event(const Win32Event&) = delete;
    Win32Event& operator=(const Win32Event&) = delete;

    void Set() override;
    void Reset() override;
    WaitResult Wait(std::optional<std::chrono::milliseconds> timeout = std::nullopt) override;
    bool IsSignalled() const override;
    void Close() override;
    bool IsReleased() const override { return Released_.load(); }

    // For an OVERLAPPED record that should signal this event.
    HANDLE Handle() const { return Event_; }

private:
    const HANDLE Event_;
    const HANDLE ReleasedEvent_;
    std::atomic<bool> Released_{false};
};

} // namespace rv::win32
