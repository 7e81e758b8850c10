#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "rangeview/serial/ConnectionHost.h"
#include "rangeview/serial/SerialConnection.h"

namespace rv::test {

// Stands in for the main window. The test thread plays the window thread: notifications the
// reader posts are queued here and handled by Pump(). OnFault runs "inside" the fault's modal
// message, as a nested event loop would run it.
class RecordingHost final : public ConnectionHost {
public:
    struct Report {
        ConnectionFault Fault;
        bool OnWindowThread;
        std::optional<SystemError> Reason;
    };

    // --- behaviour switches
    std::atomic<bool> FailPosts{false};
    bool ThrowInProcess = false;
    // Faults on the window thread.
    std::function<void(ConnectionFault, const std::optional<SystemError>&)> OnFault;
    std::function<void()> OnPortClosing;
    std::function<void()> OnPortClosed;

    // --- recorded state
    int OpenedCount = 0;
    int ClosedCount = 0;
    std::vector<std::int32_t> TxCounts;
    bool AutoSendOn = false;
    bool TimerEnabled = false;
    std::uint32_t TimerPeriod = 0;
    int TimerDisables = 0;
    std::vector<std::uint8_t> Received;
    std::vector<std::size_t> ReadSizes;

    std::vector<Report> Reports() const
    {
        std::lock_guard lock(Mutex_);
        return Reports_;
    }
    std::vector<ConnectionFault> Faults() const
    {
        std::vector<ConnectionFault> faults;
        for (const auto& r : Reports())
            faults.push_back(r.Fault);
        return faults;
    }
    std::size_t PostedCount() const
    {
        std::lock_guard lock(Mutex_);
        return Posted_.size();
    }
    std::size_t TotalPosts() const
    {
        std::lock_guard lock(Mutex_);
        return TotalPosts_;
    }
    bool WaitForPosted(std::size_t count, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(Mutex_);
        return Changed_.wait_for(lock, timeout, [&] { return Posted_.size() >= count; });
    }
    bool WaitForFaults(std::size_t count, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(Mutex_);
        return Changed_.wait_for(lock, timeout, [&] { return Reports_.size() >= count; });
    }
    std::optional<CommHandle> TakePosted()
    {
        std::lock_guard lock(Mutex_);
        if (Posted_.empty())
            return std::nullopt;
        const auto h = Posted_.front();
        Posted_.pop_front();
        return h;
    }
    // Handles every queued notification, as the window's event loop would.
    int Pump(SerialConnection& connection)
    {
        int handled = 0;
        while (auto h = TakePosted()) {
            connection.OnCommNotify(*h);
            ++handled;
        }
        return handled;
    }
    // Pumps until `bytes` bytes were received or the time is up.
    bool PumpUntilReceived(SerialConnection& connection, std::size_t bytes,
                           std::chrono::milliseconds timeout)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (Received.size() < bytes) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            {
                std::unique_lock lock(Mutex_);
                Changed_.wait_for(lock, std::chrono::milliseconds(5),
                                  [&] { return !Posted_.empty(); });
            }
            Pump(connection);
        }
        return true;
    }

    // --- ConnectionHost
    void Fault(ConnectionFault fault, const std::optional<SystemError>& reason) override
    {
        const bool onWindow = std::this_thread::get_id() == WindowThread_;
        {
            std::lock_guard lock(Mutex_);
            Reports_.push_back({fault, onWindow, reason});
        }
        Changed_.notify_all();
        if (onWindow && OnFault)
            OnFault(fault, reason);
    }
    void PortOpened() override { ++OpenedCount; }
    void PortClosing() override
    {
        if (OnPortClosing)
            OnPortClosing();
    }
    void PortClosed() override
    {
        ++ClosedCount;
        if (OnPortClosed)
            OnPortClosed();
    }
    void TxCountChanged(std::int32_t txCount) override { TxCounts.push_back(txCount); }
    void AutoSendSwitched(bool on) override { AutoSendOn = on; }
    void EnableTimer(std::uint32_t periodMs) override
    {
        TimerEnabled = true;
        TimerPeriod = periodMs;
    }
    void DisableTimer() override
    {
        TimerEnabled = false;
        ++TimerDisables;
    }
    void ProcessReceivedBytes(std::span<const std::uint8_t> bytes) override
    {
        Received.insert(Received.end(), bytes.begin(), bytes.end());
        ReadSizes.push_back(bytes.size());
        if (ThrowInProcess)
            throw std::runtime_error("axis");
    }
    bool PostCommNotify(CommHandle handle) override
    {
        {
            std::lock_guard lock(Mutex_);
            if (FailPosts)
                return false;
            Posted_.push_back(handle);
            ++TotalPosts_;
        }
        Changed_.notify_all();
        return true;
    }

private:
    const std::thread::id WindowThread_ = std::this_thread::get_id();
    mutable std::mutex Mutex_;
    std::condition_variable Changed_;
    std::vector<Report> Reports_;
    std::deque<CommHandle> Posted_;
    std::size_t TotalPosts_ = 0;
};

} // namespace rv::test
