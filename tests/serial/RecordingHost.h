#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "rangeview/serial/ConnectionHost.h"
#include "rangeview/serial/SerialConnection.h"

namespace rv::test {

// Stands in for the main window. The test thread plays the window thread: notifications the
// reader posts are queued here and handled by Pump(). Message callbacks run "inside" the modal
// message, as a nested event loop would run them.
class RecordingHost final : public ConnectionHost {
public:
    struct Notice {
        std::string Text;
        bool OnWindowThread;
        std::optional<SystemError> Reason;
    };

    // --- behaviour switches
    std::atomic<bool> FailPosts{false};
    bool ThrowInProcess = false;
    std::function<void(std::string_view)> OnShortMessage;
    std::function<void(std::string_view)> OnWindowNotice;
    std::function<void()> OnPortClosing;
    std::function<void()> OnPortClosed;

    // --- recorded state
    std::vector<std::string> ShortMessages;
    std::vector<std::optional<SystemError>> ShortMessageReasons;
    int NoCreateThread = 0;
    int OpenedCount = 0;
    int ClosedCount = 0;
    std::vector<std::int32_t> TxCounts;
    bool AutoSendOn = false;
    bool TimerEnabled = false;
    std::uint32_t TimerPeriod = 0;
    int TimerDisables = 0;
    std::vector<std::uint8_t> Received;
    std::vector<std::size_t> ReadSizes;

    std::vector<Notice> Notices() const
    {
        std::lock_guard lock(Mutex_);
        return Notices_;
    }
    std::vector<std::string> NoticeTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& n : Notices())
            texts.push_back(n.Text);
        return texts;
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
    bool WaitForNotices(std::size_t count, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(Mutex_);
        return Changed_.wait_for(lock, timeout, [&] { return Notices_.size() >= count; });
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
    void ShowNotice(std::string_view text, const std::optional<SystemError>& reason) override
    {
        const bool onWindow = std::this_thread::get_id() == WindowThread_;
        {
            std::lock_guard lock(Mutex_);
            Notices_.push_back({std::string(text), onWindow, reason});
        }
        Changed_.notify_all();
        if (onWindow && OnWindowNotice)
            OnWindowNotice(text);
    }
    void ShowNoCreateThread(const std::optional<SystemError>&) override { ++NoCreateThread; }
    void ShowShortMessage(std::string_view text, const std::optional<SystemError>& reason) override
    {
        ShortMessages.emplace_back(text);
        ShortMessageReasons.push_back(reason);
        if (OnShortMessage)
            OnShortMessage(text);
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
    std::vector<Notice> Notices_;
    std::deque<CommHandle> Posted_;
    std::size_t TotalPosts_ = 0;
};

} // namespace rv::test
