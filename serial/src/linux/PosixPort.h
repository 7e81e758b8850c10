#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "TermiosSpeed.h"
#include "rangeview/serial/SerialPlatform.h"

namespace rv::posix {

// A terminal device opened as a serial port. Release puts back the terminal settings found at
// open, speeds included, so the next program on the port finds it as it was.
//
// The reader's wait uses an edge-triggered epoll set holding the device and an eventfd: each
// arrival of bytes completes one wait (bytes that arrive while nobody waits are remembered for
// the next wait), as WaitCommEvent promises for EvRxChar; the eventfd completes a wait
// early when the mask changes or the port is released. The epoll set and the eventfd live as
// long as the object, so a reader that still holds a released port never touches a recycled
// descriptor.
class PosixPort final : public SerialPort {
public:
    // Null when the path cannot be opened, is not a terminal, or is held by another program.
    // Every failing system call here and below is reported with ReportSystemError.
    static std::shared_ptr<PosixPort> Open(const std::string& path);
    ~PosixPort() override;

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

    PosixPort(std::string path, int fd, int epollFd, int wakeFd, const TerminalState& saved);

private:
    void Wake();
    void DropPendingWrite();

    const std::string Path_; // the device path, for the failures reported
    int Fd_; // window thread only; -1 once released
    const int EpollFd_;
    const int WakeFd_;
    const TerminalState Saved_; // the settings found at open, put back at release
    std::atomic<bool> Released_{false};
    std::atomic<std::uint32_t> Mask_{0};
    std::atomic<std::uint64_t> MaskGeneration_{0};
    // Set when the device reported a hang-up or answered EIO: the next read reports the failure.
    std::atomic<bool> Vanished_{false};
    bool EdgeHeld_ = false; // reader only: an arrival seen by a wait that ended for a mask change
    // Reader only: when a wait last reported arrived bytes.
    std::chrono::steady_clock::time_point LastArrival_{};

    const std::uint8_t* PendingData_ = nullptr;
    std::size_t PendingLeft_ = 0;
};

} // namespace rv::posix
