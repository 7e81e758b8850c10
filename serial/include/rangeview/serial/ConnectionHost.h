#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace rv {

// Identifies one connection in the notification the reader posts. Never reused, so a
// notification that outlives its connection is recognised and ignored.
using CommHandle = std::uint64_t;

// What the serial connection needs from the main window. Every call comes from the window
// thread except where noted.
//
// The reader thread keeps its own reference to the host. Close and the connection's destruction
// wait for the reader to end, but only for a bounded time: a reader held up (in ShowNotice, say)
// may still call ShowNotice or PostCommNotify afterwards, and an implementation must cope with
// that (for instance by dropping notifications once the window is gone).
//
// A call that shows a modal message may run a nested event loop; the connection is written so
// that anything (a notification, a close, a new open) may happen during it.
class ConnectionHost {
public:
    virtual ~ConnectionHost() = default;

    // The "Notice" platform box (English text, OK button, no owner). Any thread; on the reader
    // thread it blocks only the reader until dismissed.
    virtual void ShowNotice(std::string_view text) = 0;
    // The "No CreateThread!" box, owned by the main window, with the platform's default caption.
    virtual void ShowNoCreateThread() = 0;
    // The short message: text, OK, the program's title as caption, no icon.
    virtual void ShowShortMessage(std::string_view text) = 0;

    virtual void SetOpenButtonEnabled(bool enabled) = 0; // BitBtn1
    virtual void SwitchWaveformOff() = 0; // BitBtn2 caption := "显示波形"
    virtual void TxCountChanged(std::int32_t txCount) = 0; // Label9

    // Button4's caption, which holds the auto-send state.
    virtual std::string AutoSendCaption() const = 0;
    virtual void SetAutoSendCaption(std::string_view caption) = 0;
    // Timer1. A period of 0 enables the timer without ticks. May throw (no timer left); the
    // window's error report shows the text.
    virtual void EnableTimer(std::uint32_t periodMs) = 0;
    virtual void DisableTimer() = 0;

    // The bytes of one read, at least one.
    virtual void ProcessReceivedBytes(std::span<const std::uint8_t> bytes) = 0;

    // Queue the WM_COMMNOTIFY notification to the window thread, where it is to call
    // SerialConnection::OnCommNotify(handle). False when it could not be queued. Called on the
    // reader thread, and on the window thread for the follow-up of a read that filled the
    // receive buffer.
    virtual bool PostCommNotify(CommHandle handle) = 0;
};

} // namespace rv
