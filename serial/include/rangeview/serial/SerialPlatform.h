#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace rv {

// The operating-system services the serial link runs on, as one small interface that a POSIX,
// Win32 or test implementation provides. No platform types appear here.
//
// Objects are shared: the reader thread keeps its own references, so a port or event released
// by the window thread stays a valid object (marked released) for as long as anyone holds it.

// Event bits of SetCommMask / WaitCommEvent.
inline constexpr std::uint32_t EvRxChar = 0x0001;

// Purge flags.
inline constexpr std::uint32_t PurgeTxAbort = 0x0001;
inline constexpr std::uint32_t PurgeRxAbort = 0x0002;
inline constexpr std::uint32_t PurgeTxClear = 0x0004;
inline constexpr std::uint32_t PurgeRxClear = 0x0008;

// Parity and stop-bit codes of LineSettings.
inline constexpr std::uint8_t NoParity = 0;
inline constexpr std::uint8_t OneStopBit = 0;

// Read and write timeouts of a port, in milliseconds (0: none).
struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
};

// "A read returns at once with what is queued; writes have no limit of their own."
inline constexpr CommTimeouts ImmediateReadTimeouts{0xFFFFFFFFu, 0, 0, 0, 0};

// The line settings the link changes. Every other setting of the port (flow control, special
// characters, modem-line handling) is kept by the implementation as the port had it.
struct LineSettings {
    std::uint32_t BaudRate = 0;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = NoParity;
    std::uint8_t StopBits = OneStopBit;
};

// Queue fill of a port, as the connection polls it before reading.
struct CommStatus {
    std::uint32_t InQueue = 0; // received bytes waiting to be read
    std::uint32_t OutQueue = 0; // bytes not yet sent
};

enum class WaitResult { Signalled, TimedOut, Released };

// The system's own reason for a failed platform call, reported beside the connection's fault:
// to the log, the boxes' details and the command-line tool's error lines.
struct SystemError {
    std::string Port; // the device path the call was made on
    std::string Call; // the failing system call, e.g. "open", "tcsetattr", "CreateFileA"
    long Code = 0; // errno, or the Win32 error code
    std::string Reason; // the system's text for Code, with a hint where one helps
};

// One line: "<Port>: <Call>: <Reason>" ("<Call>: <Reason>" for a failure of no port).
std::string Describe(const SystemError& error);

// Backends call this at every failure. It keeps the error as this thread's last one (as errno
// is kept) and hands it to the sink. The sink is set once at start, before any port opens; it
// may be called from the reader thread.
void ReportSystemError(SystemError error);
using SystemErrorSink = void (*)(const SystemError& error);
void SetSystemErrorSink(SystemErrorSink sink);
// This thread's last reported error; empty Call when none since ClearLastSystemError().
const SystemError& LastSystemError();
void ClearLastSystemError();
// How many errors this thread has reported so far: unchanged across a failed call means the
// call gave no reason of its own, and LastSystemError() belongs to an earlier one.
std::uint64_t SystemErrorsReported();

// Unnamed manual-reset event. Close() releases it: waiters wake with Released, and every later
// operation on it does nothing (Wait returns Released at once).
class ManualResetEvent {
public:
    virtual ~ManualResetEvent() = default;
    virtual void Set() = 0;
    virtual void Reset() = 0;
    // Waits until signalled, released, or (with a timeout) the time has passed.
    virtual WaitResult Wait(std::optional<std::chrono::milliseconds> timeout = std::nullopt) = 0;
    virtual bool IsSignalled() const = 0;
    virtual void Close() = 0;
    virtual bool IsReleased() const = 0;
};

// The record of one asynchronous operation: its completion event (may be null) and the number of
// bytes it moved.
struct IoRecord {
    std::shared_ptr<ManualResetEvent> Event;
    std::uint32_t BytesTransferred = 0;
};

enum class WriteStart {
    Completed, // every byte was taken at once
    Pending, // under way; FinishWrite tells the outcome
    Failed // refused
};

// One open port. Every operation runs on the window thread except WaitCommEvent and IsReleased,
// which the reader thread uses.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    virtual bool SetTimeouts(const CommTimeouts& timeouts) = 0;
    virtual bool SetQueueSizes(std::uint32_t inBytes, std::uint32_t outBytes) = 0;
    virtual bool GetCommState(LineSettings& settings) = 0;
    // True when the port now runs with these settings.
    virtual bool SetCommState(const LineSettings& settings) = 0;
    // Arms the events of the mask; any call completes a pending WaitCommEvent with mask 0.
    virtual bool SetCommMask(std::uint32_t mask) = 0;
    virtual void RaiseDtr() = 0;

    // Blocks until an armed event occurs (mask gets its bits), or until SetCommMask or Close
    // is called (mask 0). False when the wait could not be started; mask is then left alone.
    virtual bool WaitCommEvent(std::uint32_t& mask, IoRecord& record) = 0;

    // Clears the error state; status.InQueue is the number of bytes that a read can collect.
    virtual bool ClearCommError(std::uint32_t& errors, CommStatus& status) = 0;
    // Reads at most buffer.size() queued bytes without waiting for more; the count goes to
    // record.BytesTransferred. False on failure (including a port that has gone away).
    virtual bool Read(std::span<std::uint8_t> buffer, IoRecord& record) = 0;

    // The bytes must stay valid until FinishWrite returns or the port is purged or released.
    virtual WriteStart StartWrite(std::span<const std::uint8_t> bytes, IoRecord& record) = 0;
    // Waits at most `bound` for the pending write; false on failure or expiry.
    virtual bool FinishWrite(IoRecord& record, std::chrono::milliseconds bound) = 0;

    virtual bool Purge(std::uint32_t flags) = 0;

    // Releases the port (so it can be opened again) and completes a pending WaitCommEvent with
    // mask 0. Idempotent; every later operation fails or does nothing.
    virtual void Close() = 0;
    virtual bool IsReleased() const = 0;
};

// A thread started by SerialPlatform::StartThread, owned by whoever started it (the window
// thread). Destroying it without a successful Join leaves the thread to end by itself.
class PlatformThread {
public:
    virtual ~PlatformThread() = default;
    // Waits at most `bound` for the thread to end. True once it has ended: its body has returned
    // and everything the body held (its captures) has been destroyed, on that thread. Further
    // calls after true return true at once; after false it may be called again.
    virtual bool Join(std::chrono::milliseconds bound) = 0;
};

// Everything the serial connection needs from the system: events, ports, threads. One
// backend per system supplies it (MakeSystemPlatform); tests use an in-memory one.
class SerialPlatform {
public:
    virtual ~SerialPlatform() = default;
    // Manual-reset event in the given initial state; null when none can be made.
    virtual std::shared_ptr<ManualResetEvent> NewEvent(bool initiallySignalled) = 0;
    // Opens the named port exclusively (the name as the user picked it); null on failure.
    virtual std::shared_ptr<SerialPort> OpenPort(std::string_view name) = 0;
    // Runs body on a new thread, at once; null when no thread could be started. An exception
    // that leaves body ends only the thread.
    virtual std::unique_ptr<PlatformThread> StartThread(std::function<void()> body) = 0;
};

} // namespace rv
