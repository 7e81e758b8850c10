#include "Win32Port.h"

#include <algorithm>
#include <limits>

#include "SystemErrorText.h"
#include "Win32Event.h"

namespace rv::win32 {

namespace {

// Codes with which a device that has been unplugged (or whose driver went away) answers.
bool IsGoneError(DWORD code)
{
    switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
        return true;
    default:
        return false;
    }
}

// What to check when a port cannot be opened, where the cause usually lies with the machine
// rather than the program.
const char* OpenHint(DWORD code)
{
    switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return "the port is in use by another program";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "no such port; check the name and that the device is plugged in";
    default:
        return nullptr;
    }
}

void CloseAll(std::initializer_list<HANDLE> handles)
{
    for (const HANDLE h : handles) {
        if (h != nullptr && h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
    }
}

DWORD ClampedMs(std::chrono::milliseconds ms)
{
    return static_cast<DWORD>(std::clamp<long long>(ms.count(), 0, INFINITE - 1));
}

// Marks the reader as out of its wait on every way out of WaitCommEvent.
class IdleOnExit {
public:
    explicit IdleOnExit(HANDLE idle) : Idle_(idle) { ::ResetEvent(Idle_); }
    ~IdleOnExit() { ::SetEvent(Idle_); }
    IdleOnExit(const IdleOnExit&) = delete;
    IdleOnExit& operator=(const IdleOnExit&) = delete;

private:
    HANDLE Idle_;
};

} // namespace

std::shared_ptr<Win32Port> Win32Port::Open(const std::string& path)
{
    if (path.find('\0') != std::string::npos)
        return nullptr; // the device name would be cut short at the NUL
    const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        ReportFailure(path, "CreateFileA", code, OpenHint(code));
        return nullptr;
    }
    // A device without line settings (NUL, a volume) cannot be a serial port; refusing it here
    // gives the user the open failure instead of a silent close after the settings fail.
    DCB saved{};
    saved.DCBlength = sizeof saved;
    if (!::GetCommState(handle, &saved)) {
        ReportFailure(path, "GetCommState", ::GetLastError());
        ::CloseHandle(handle);
        return nullptr;
    }

    const HANDLE waitEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE readEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE writeEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE closing = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE waitIdle = ::CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (!waitEvent || !readEvent || !writeEvent || !closing || !waitIdle) {
        ReportFailure(path, "CreateEventA", ::GetLastError());
        CloseAll({waitEvent, readEvent, writeEvent, closing, waitIdle, handle});
        return nullptr;
    }
    try {
        auto port = std::make_shared<Win32Port>(path, handle, waitEvent, readEvent, writeEvent,
                                                closing, waitIdle);
        port->Saved_ = saved;
        port->HaveSaved_ = true;
        return port;
    } catch (...) {
        CloseAll({waitEvent, readEvent, writeEvent, closing, waitIdle, handle});
        return nullptr;
    }
}

Win32Port::Win32Port(std::string path, HANDLE handle, HANDLE waitEvent, HANDLE readEvent,
                     HANDLE writeEvent, HANDLE closing, HANDLE waitIdle)
    : Path_(std::move(path)), Handle_(handle), WaitEvent_(waitEvent), ReadEvent_(readEvent),
      WriteEvent_(writeEvent), Closing_(closing), WaitIdle_(waitIdle)
{
}

Win32Port::~Win32Port()
{
    Close();
    CloseAll({WaitEvent_, ReadEvent_, WriteEvent_, Closing_, WaitIdle_});
}

bool Win32Port::Fail(const char* call)
{
    ReportFailure(Path_, call, ::GetLastError());
    return false;
}

bool Win32Port::SetTimeouts(const CommTimeouts& timeouts)
{
    if (IsReleased())
        return false;
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
    t.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
    t.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
    t.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
    t.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
    return ::SetCommTimeouts(Handle_, &t) || Fail("SetCommTimeouts");
}

bool Win32Port::SetQueueSizes(std::uint32_t inBytes, std::uint32_t outBytes)
{
    if (IsReleased())
        return false;
    return ::SetupComm(Handle_, inBytes, outBytes) || Fail("SetupComm");
}

bool Win32Port::GetCommState(LineSettings& settings)
{
    if (IsReleased())
        return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(Handle_, &dcb))
        return Fail("GetCommState");
    settings.BaudRate = dcb.BaudRate;
    settings.ByteSize = dcb.ByteSize;
    settings.Parity = dcb.Parity;
    settings.StopBits = dcb.StopBits;
    return true;
}

bool Win32Port::SetCommState(const LineSettings& settings)
{
    if (IsReleased())
        return false;
    // Read afresh so that flow control, special characters and modem-line handling stay as the
    // port has them; only the line settings change.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(Handle_, &dcb))
        return Fail("GetCommState");
    dcb.BaudRate = settings.BaudRate;
    dcb.ByteSize = settings.ByteSize;
    dcb.Parity = settings.Parity;
    dcb.StopBits = settings.StopBits;
    return ::SetCommState(Handle_, &dcb) || Fail("SetCommState");
}

bool Win32Port::SetCommMask(std::uint32_t mask)
{
    if (IsReleased())
        return false;
    return ::SetCommMask(Handle_, mask) || Fail("SetCommMask");
}

void Win32Port::RaiseDtr()
{
    if (!IsReleased() && !::EscapeCommFunction(Handle_, SETDTR))
        Fail("EscapeCommFunction");
}

bool Win32Port::WaitFailed(const char* call, DWORD code, std::uint32_t& mask)
{
    if (IsReleased()) {
        mask = 0; // cancelled by close
        return true;
    }
    if (IsGoneError(code)) {
        // Handed on as an arrival: the window's read then finds the device gone and reports it
        // once, and the connection is broken instead of waiting on a dead port.
        if (!Vanished_.exchange(true))
            ReportFailure(Path_, call, code);
        mask = EvRxChar;
        return true;
    }
    if (code != LastWaitError_) {
        LastWaitError_ = code;
        ReportFailure(Path_, call, code);
    }
    // Some drivers fail the wait of a device that went away with a code that says nothing about
    // it; the queue query does say.
    DWORD lineErrors = 0;
    COMSTAT comstat{};
    if (!::ClearCommError(Handle_, &lineErrors, &comstat)) {
        const DWORD probe = ::GetLastError();
        if (IsGoneError(probe)) {
            if (!Vanished_.exchange(true))
                ReportFailure(Path_, "ClearCommError", probe);
            mask = EvRxChar;
            return true;
        }
    }
    ::WaitForSingleObject(Closing_, FailedWaitPauseMs);
    return false;
}

bool Win32Port::WaitCommEvent(std::uint32_t& mask, IoRecord& record)
{
    const IdleOnExit idle(WaitIdle_);
    // Close sets Released_ before it waits for WaitIdle_: a reader past this test is waited for.
    if (IsReleased())
        return false;
    if (Vanished_.load()) {
        mask = EvRxChar;
        return true;
    }
    HANDLE event = WaitEvent_;
    if (const auto* own = dynamic_cast<const Win32Event*>(record.Event.get()))
        event = own->Handle();
    ::ResetEvent(event);
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    DWORD events = 0; // written by the system until the wait completes; it outlives it below
    if (::WaitCommEvent(Handle_, &events, &overlapped)) {
        LastWaitError_ = 0;
        mask = events;
        return true;
    }
    const DWORD started = ::GetLastError();
    if (started != ERROR_IO_PENDING)
        return WaitFailed("WaitCommEvent", started, mask);

    const HANDLE wakers[2] = {event, Closing_};
    if (::WaitForMultipleObjects(2, wakers, FALSE, INFINITE) != WAIT_OBJECT_0)
        ::CancelIoEx(Handle_, &overlapped);
    DWORD unused = 0;
    if (!::GetOverlappedResult(Handle_, &overlapped, &unused, TRUE))
        return WaitFailed("WaitCommEvent", ::GetLastError(), mask);
    LastWaitError_ = 0;
    mask = IsReleased() ? 0 : events;
    return true;
}

bool Win32Port::ClearCommError(std::uint32_t& errors, CommStatus& status)
{
    errors = 0;
    status = {};
    if (IsReleased())
        return false;
    DWORD lineErrors = 0;
    COMSTAT comstat{};
    if (!::ClearCommError(Handle_, &lineErrors, &comstat)) {
        const DWORD code = ::GetLastError();
        if (!IsGoneError(code) && !Vanished_.load()) {
            ReportFailure(Path_, "ClearCommError", code);
            return false;
        }
        if (!Vanished_.exchange(true))
            ReportFailure(Path_, "ClearCommError", code);
    }
    errors = lineErrors;
    status.InQueue = comstat.cbInQue;
    status.OutQueue = comstat.cbOutQue;
    // A device that has gone away is reported by the read, once, as a read failure.
    if (Vanished_.load() && status.InQueue == 0)
        status.InQueue = 1;
    return true;
}

bool Win32Port::Read(std::span<std::uint8_t> buffer, IoRecord& record)
{
    record.BytesTransferred = 0;
    if (IsReleased())
        return false;
    if (buffer.empty())
        return true;
    const auto size =
        static_cast<DWORD>(std::min<std::size_t>(buffer.size(), std::numeric_limits<DWORD>::max()));
    OVERLAPPED overlapped{};
    overlapped.hEvent = ReadEvent_;
    ::ResetEvent(ReadEvent_);
    if (!::ReadFile(Handle_, buffer.data(), size, nullptr, &overlapped)) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_IO_PENDING && code != ERROR_SUCCESS) {
            if (!Vanished_.exchange(true) || !IsGoneError(code))
                ReportFailure(Path_, "ReadFile", code);
            return false;
        }
        // The immediate time-outs make the read return at once; a driver that ignores them
        // must not hold the window.
        if (::WaitForSingleObject(ReadEvent_, ReadBoundMs) != WAIT_OBJECT_0)
            ::CancelIoEx(Handle_, &overlapped);
    }
    DWORD count = 0;
    if (!::GetOverlappedResult(Handle_, &overlapped, &count, TRUE)) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_OPERATION_ABORTED) {
            ReportFailure(Path_, "ReadFile", code);
            return false;
        }
    }
    if (count == 0 && Vanished_.load())
        return false; // reported when the device was found gone
    record.BytesTransferred = count;
    if (record.Event)
        record.Event->Set();
    return true;
}

WriteStart Win32Port::StartWrite(std::span<const std::uint8_t> bytes, IoRecord& record)
{
    FinishPendingWrite();
    record.BytesTransferred = 0;
    if (IsReleased())
        return WriteStart::Failed;
    if (bytes.size() > std::numeric_limits<DWORD>::max())
        return WriteStart::Failed;
    WriteOverlapped_ = OVERLAPPED{};
    WriteOverlapped_.hEvent = WriteEvent_;
    ::ResetEvent(WriteEvent_);
    if (::WriteFile(Handle_, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr,
                    &WriteOverlapped_)) {
        DWORD count = 0;
        ::GetOverlappedResult(Handle_, &WriteOverlapped_, &count, FALSE);
        record.BytesTransferred = count;
        if (record.Event)
            record.Event->Set();
        return WriteStart::Completed;
    }
    const DWORD code = ::GetLastError();
    if (code == ERROR_IO_PENDING) {
        WritePending_ = true;
        return WriteStart::Pending;
    }
    ReportFailure(Path_, "WriteFile", code);
    return WriteStart::Failed;
}

bool Win32Port::FinishWrite(IoRecord& record, std::chrono::milliseconds bound)
{
    if (IsReleased() || !WritePending_)
        return false;
    const DWORD waited = ::WaitForSingleObject(WriteEvent_, ClampedMs(bound));
    if (waited != WAIT_OBJECT_0)
        ::CancelIoEx(Handle_, &WriteOverlapped_);
    DWORD count = 0;
    const bool done = ::GetOverlappedResult(Handle_, &WriteOverlapped_, &count, TRUE);
    const DWORD code = done ? ERROR_SUCCESS : ::GetLastError();
    WritePending_ = false;
    record.BytesTransferred = count;
    if (!done) {
        ReportFailure(Path_, "WriteFile", waited == WAIT_TIMEOUT ? ERROR_TIMEOUT : code);
        return false;
    }
    if (record.Event)
        record.Event->Set();
    return true;
}

void Win32Port::FinishPendingWrite()
{
    if (!WritePending_)
        return;
    // The system may write from the caller's bytes until the operation has completed.
    ::CancelIoEx(Handle_, &WriteOverlapped_);
    DWORD count = 0;
    ::GetOverlappedResult(Handle_, &WriteOverlapped_, &count, TRUE);
    WritePending_ = false;
}

bool Win32Port::Purge(std::uint32_t flags)
{
    if (IsReleased())
        return false;
    // The purge flags have the system's own values.
    const bool purged = ::PurgeComm(Handle_, flags) || Fail("PurgeComm");
    if (flags & PurgeTxAbort)
        FinishPendingWrite();
    return purged;
}

void Win32Port::Close()
{
    if (Released_.exchange(true))
        return;
    ::SetEvent(Closing_);
    ::SetCommMask(Handle_, 0);
    // The reader leaves its wait at once now (its wait watches Closing_). Should it somehow not,
    // the handle is left open rather than closed under it.
    const bool readerOut = ::WaitForSingleObject(WaitIdle_, 5000) == WAIT_OBJECT_0;
    FinishPendingWrite();
    if (HaveSaved_)
        ::SetCommState(Handle_, &Saved_);
    if (readerOut && !::CloseHandle(Handle_))
        ReportFailure(Path_, "CloseHandle", ::GetLastError());
}

} // namespace rv::win32
