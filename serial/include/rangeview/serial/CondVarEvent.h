#pragma once

#include <condition_variable>
#include <mutex>

#include "rangeview/serial/SerialPlatform.h"

namespace rv {

// Portable manual-reset event. The mutex is internal to the event and never held across
// anything but its own state change.
class CondVarEvent final : public ManualResetEvent {
public:
    explicit CondVarEvent(bool initiallySignalled) : Signalled_(initiallySignalled) { }

    void Set() override;
    void Reset() override;
    WaitResult Wait(std::optional<std::chrono::milliseconds> timeout = std::nullopt) override;
    bool IsSignalled() const override;
    void Close() override;
    bool IsReleased() const override;

private:
    mutable std::mutex Mutex_;
    std::condition_variable Changed_;
    bool Signalled_;
    bool Released_ = false;
};

} // namespace rv
