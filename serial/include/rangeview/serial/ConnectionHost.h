#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "rangeview/serial/ConnectionFault.h"
#include "rangeview/serial/SerialPlatform.h"

namespace rv {

// Identifies one connection in the notification the reader posts. Never reused, so a
// notification that outlives its connection is recognised and ignored.
using CommHandle = std::uint64_t;

// What the serial connection tells its host (the main window, or the command line's monitor)
// and the few services it needs from it. Every call comes from the host's own thread (the
// window thread) except where noted.
//
// The reader thread keeps its own reference to the host. Close and the connection's destruction
// wait for the reader to end, but only for a bounded time: a reader held up (in Fault, say) may
// still call Fault or PostCommNotify afterwards, and an implementation must cope with that (for
// instance by dropping notifications once the window is gone).
//
// A fault may be shown in a modal message that runs a nested event loop; the connection is
// written so that anything (a notification, a close, a new open) may happen during it.
class ConnectionHost {
public:
    virtual ~ConnectionHost() = default;

    // A fault of the connection, with the system's reason when it comes from a platform call
    // that failed and gave one (nullopt otherwise). On the host's thread, except
    // ReaderEventUnavailable and NotifyFailed, which the reader reports from its own thread; it
    // is blocked (and only it) until the call returns.
    virtual void Fault(ConnectionFault fault, const std::optional<SystemError>& reason) = 0;

    // The port is open with its events armed; the reader is about to start.
    virtual void PortOpened() = 0;
    // A close begins: the connection is still open and nothing is released yet.
    virtual void PortClosing() = 0;
    // A close has released the connection; the connection counts as open until this returns.
    virtual void PortClosed() = 0;
    virtual void TxCountChanged(std::int32_t txCount) = 0;

    // Auto-send was switched on or off. It stays on when its start is refused or a close stops
    // its timer; only StopAutoSend or a failing tick switch it off.
    virtual void AutoSendSwitched(bool on) = 0;
    // The auto-send timer: a tick every period, each one to send the command again, on this
    // thread. Ticks do not pile up. A period of 0 runs
    // the timer without ticks. May throw (no timer left); the exception reaches the caller of
    // StartAutoSend.
    virtual void EnableTimer(std::uint32_t periodMs) = 0;
    virtual void DisableTimer() = 0;

    // The bytes of one read, at least one.
    virtual void ProcessReceivedBytes(std::span<const std::uint8_t> bytes) = 0;

    // Queue the WM_COMMNOTIFY notification to the host's thread, where it is to call
    // SerialConnection::OnCommNotify(handle). False when it could not be queued. Called on the
    // reader thread, and on the host's thread for the follow-up of a read that filled the
    // receive buffer.
    virtual bool PostCommNotify(CommHandle handle) = 0;
};

} // namespace rv
