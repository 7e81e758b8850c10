#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <span>

#include "rangeview/serial/ConnectionHost.h"

namespace rv {

// What the monitor's loop waits on, standing in for the window's message queue: the reader
// posts connection notifications, and a stop (Ctrl-C, SIGTERM, or a test) can be requested.
// The system's own mechanism lives in the platform folder.
class LoopEvents {
public:
    LoopEvents();
    ~LoopEvents();
    LoopEvents(const LoopEvents&) = delete;
    LoopEvents& operator=(const LoopEvents&) = delete;

    // False when the system refused the queue; nothing else works then.
    bool Ok() const noexcept;

    // Any thread; never waits. False when the notification could not be queued.
    bool Post(CommHandle handle) noexcept;
    // Any thread, also a signal handler. Stays requested.
    void RequestStop() noexcept;

    enum class Wake { Notified, Stopped, TimedOut, Failed };
    // Waits until a notification is queued, a stop is requested or the timeout (none: no limit)
    // has passed. A stop wins over queued notifications. Owner thread only.
    Wake Wait(std::optional<std::chrono::milliseconds> timeout);
    // Takes queued notifications in posting order without waiting; owner thread only.
    std::size_t Take(std::span<CommHandle> out);

    struct State;

private:
    State* State_;
};

// Turns the system's stop requests (SIGINT and SIGTERM; Ctrl-C, Ctrl-Break and closing the
// console) into events.RequestStop() while it lives, and a write to a closed pipe or past the
// file-size limit (ulimit -f) into a write error instead of death. One at a time per process.
class StopSignals {
public:
    explicit StopSignals(LoopEvents& events);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool Ok() const noexcept { return Installed_; }

private:
    bool Installed_ = false;
};

} // namespace rv
