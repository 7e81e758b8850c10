#pragma once

#include <atomic>
#include <memory>
#include <string>

#include <windows.h>

#include "rangeview/serial/SerialPlatform.h"

namespace rv::win32 {

// A communications device opened for overlapped I/O.
//
// The reader's WaitCommEvent and the window's reads and writes run on the one handle at the same
// time, each with its own OVERLAPPED record and event. Close wakes the reader through an event of
// the port's own (a SetCommMask(0) alone can be lost when it lands before the wait starts), and
// releases the handle only once the reader is out of its wait, so the reader never uses a handle
// that the system may already have given to something else.
class Win32Port final : public SerialPort {
public:
    // Null when the device cannot be opened (absent, or held by another program).
    static std::shared_ptr<Win32Port> Open(const std::string& path);
    Win32Port(std::string path, HANDLE handle, HANDLE waitEvent, HANDLE readEvent,
              HANDLE writeEvent, HANDLE closing, HANDLE waitIdle);
    ~Win32Port() override;
    Win32Port(const Win32Port&) = delete;
    Win32Port& operator=(const Win32Port&) = delete;

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
    bool IsReleased() const override { return Released_.load(); }

    // How long a failed wait pauses before it answers, so that a port whose waits keep failing
    // (a device that went away) costs the reader a few passes a second, not a spinning core.
    static constexpr DWORD FailedWaitPauseMs = 50;
    // A read with the immediate time-outs returns at once; this bounds one that does not.
    static constexpr DWORD ReadBoundMs = 2000;

private:
    bool Fail(const char* call);
    void FinishPendingWrite();
    bool WaitFailed(const char* call, DWORD code, std::uint32_t& mask);

    const std::string Path_;
    const HANDLE Handle_; // closed by Close; never used once Released_ is set
    const HANDLE WaitEvent_; // the reader's wait, when its record brings no event of ours
    const HANDLE ReadEvent_;
    const HANDLE WriteEvent_;
    const HANDLE Closing_; // set by Close: wakes the reader's wait and its pause
    const HANDLE WaitIdle_; // set while the reader is not inside WaitCommEvent
    std::atomic<bool> Released_{false};
    // Set when the device answered as one that has gone away: the next read reports it.
    std::atomic<bool> Vanished_{false};
    DWORD LastWaitError_ = 0; // reader only: a failure that repeats is reported once

    OVERLAPPED WriteOverlapped_{};
    bool WritePending_ = false;

    DCB Saved_{}; // the settings found at open, put back at close
    bool HaveSaved_ = false;
};

} // namespace rv::win32
