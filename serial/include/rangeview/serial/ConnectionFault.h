#pragma once

namespace rv {

// What went wrong on the serial connection, as the connection reports it to its host (with the
// system's reason beside it where a platform call gave one). What the user is told about each
// is up to whoever presents it.
enum class ConnectionFault {
    // Opening
    EventUnavailable, // ReadDoneEvent could not be made; nothing was opened
    PortUnavailable, // the port could not be opened (absent, held by another program, no name)
    EventMaskRefused, // the port's events could not be armed; it is configured but receives nothing
    NoReaderThread, // no reader could be started; the port is open but receives nothing
    // Receiving
    ReaderEventUnavailable, // the reader's own event could not be made; the reader ended
    NotifyFailed, // the reader could not queue its notification; the reader ended
    ClearErrorFailed, // the port's queue could not be asked; what was queued is dropped
    ReadFailed, // a read failed: the port is released, the connection Broken
    // Sending
    NotOpen, // a send with no port open; nothing was counted
    WriteFailed, // a write failed, or a failure had already released the port (Broken)
};

} // namespace rv
