#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "rangeview/serial/ConnectionHost.h"
#include "rangeview/serial/SerialPlatform.h"

namespace rv {

// The state of one successful open, shared by the window thread and that open's reader.
// Each open makes a new one, so a reader or a late notification of an earlier connection can
// never reach the objects of a later one.
struct ConnectionLink {
    CommHandle Handle = 0;
    std::shared_ptr<SerialPort> PortHandle;
    std::shared_ptr<ManualResetEvent> ReadDoneEvent;
    std::atomic<bool> ReaderActive{false};
    IoRecord ReadOverlapped; // window thread only
    std::uint32_t BaudRate = 0;
    bool EventMaskArmed = false;
    bool ReaderStarted = false;
};

enum class ConnectionState {
    Closed,
    Open,
    OpenWithoutReader,
    ConfiguredWithoutEventMask,
    Broken // a failure released the port or ReadDoneEvent; only close is left
};

// Auto-send, repeating the command on a timer while switched on.
enum class AutoSendState {
    Off,
    On, // the timer runs with the period read at the start (0: on, without ticks)
    Halted // switched on, but no timer runs: its start was refused, or a close stopped it
};

// Opening, closing, receiving and sending on the one serial connection of the main window.
// Everything runs on the window thread except ReaderThread.
class SerialConnection {
public:
    static constexpr std::size_t ReceiveBufferSize = 10241;
    static constexpr std::uint32_t InputQueueSize = 4096;
    static constexpr std::uint32_t OutputQueueSize = 1024;
    // How long close waits for the reader to end once it has been woken. It ends at once unless
    // it is showing a box, which the window thread (busy closing) would show only afterwards.
    static constexpr std::chrono::milliseconds ReaderJoinBound{2000};

    SerialConnection(std::shared_ptr<SerialPlatform> platform,
                     std::shared_ptr<ConnectionHost> host);
    // Releases an open connection without calling the host (the window may be half gone), and
    // waits (bounded) for every reader it started to end.
    ~SerialConnection();
    SerialConnection(const SerialConnection&) = delete;
    SerialConnection& operator=(const SerialConnection&) = delete;

    // Opens the named port at `baudRate`. Without a rate (the user named none) the port is only
    // tried: taken, set up as far as the rate and let go again, so that a port that cannot be
    // had is reported first. Returns whether the port could be had; the host was told why not.
    bool Open(std::string_view portName, std::optional<std::uint32_t> baudRate);
    // Releases the connection, then waits (bounded) for its reader to end. Stops the auto-send
    // timer, leaving auto-send switched on (Halted).
    void Close();

    // The WM_COMMNOTIFY handler. If ProcessReceivedBytes throws, the hand-off is completed first
    // and the exception passed on for the window's error report.
    void OnCommNotify(CommHandle handle);

    // Counts the bytes in TxCount (the host is told, also of no bytes) and writes them. With no
    // port open it reports NotOpen and counts nothing. The bytes need to last only the call.
    void Send(std::span<const std::uint8_t> bytes);
    // Switches auto-send on and runs the host's timer at `periodMs` (0: on, without ticks).
    // Without a period (the user named none) auto-send stays on without a timer (Halted), as it
    // does when the host's timer fails, whose exception is passed on.
    void StartAutoSend(std::optional<std::uint32_t> periodMs);
    void StopAutoSend();
    AutoSendState AutoSend() const { return AutoSend_; }

    // The clear button's part: TxCount := 0 (the host is told).
    void ResetTxCount();

    bool PortOpen() const { return PortOpen_; }
    std::int32_t TxCount() const { return TxCount_; }
    ConnectionState State() const;
    // The current connection (null when closed); for the window's diagnostics and for tests.
    std::shared_ptr<const ConnectionLink> Link() const { return Link_; }

    // The reader's loop. Public so that tests can drive it; the open starts it on its own thread.
    static void ReaderThread(std::shared_ptr<ConnectionLink> link,
                             std::shared_ptr<ConnectionHost> host,
                             std::shared_ptr<SerialPlatform> platform);

    // Time a write of `count` bytes at `baud` may take before it counts as failed.
    static std::chrono::milliseconds WriteBound(std::size_t count, std::uint32_t baud);

private:
    void ReleaseLink(ConnectionLink& link);
    void JoinReader();

    std::shared_ptr<SerialPlatform> Platform_;
    std::shared_ptr<ConnectionHost> Host_;
    std::shared_ptr<ConnectionLink> Link_;
    std::unique_ptr<PlatformThread> Reader_; // the reader of Link_
    // Readers that did not end within the bound; joined again at the end.
    std::vector<std::unique_ptr<PlatformThread>> Stragglers_;
    bool PortOpen_ = false;
    std::int32_t TxCount_ = 0;
    CommHandle NextHandle_ = 1;
    AutoSendState AutoSend_ = AutoSendState::Off;
    std::array<std::uint8_t, ReceiveBufferSize> ReceiveBuffer_{};
};

} // namespace rv
