#pragma once

#include "rangeview/presenter/ConnectionPresenter.h"
#include "rangeview/presenter/LinkMessages.h"
#include "rangeview/serial/ConnectionHost.h"
#include "rangeview/serial/SerialConnection.h"
#include "rangeview/serial/SerialPlatform.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class QObject;
class QThread;

namespace rv {

class TForm1;

// The serial connection's view of the main window, and where the link's messages appear.
// Window-thread calls go straight to the window (faults by way of the presenter); the reader
// thread's two calls are carried over to the window thread:
// - Fault queues the fault to the window thread and blocks the reader (only the reader) until
//   its box is dismissed;
// - PostCommNotify posts WM_COMMNOTIFY, which the window's event handler turns into
//   SerialConnection::OnCommNotify. While the window shows pictures, the reader posts no sooner
//   than the next picture can be shown: whatever arrives within a display frame is read and
//   presented at once, in time for that picture.
//
// Readers keep the host alive through their shared reference until they are joined. Once the
// window is gone (Detach, or the window destroyed) posts fail, faults are dropped, and a reader
// blocked on one is let go.
class WindowConnectionHost final : public ConnectionHost, public MessageSurface {
public:
    // On the window thread.
    explicit WindowConnectionHost(TForm1& window);
    ~WindowConnectionHost() override;
    WindowConnectionHost(const WindowConnectionHost&) = delete;
    WindowConnectionHost& operator=(const WindowConnectionHost&) = delete;

    // The presenter the faults go to (null: none). Window thread.
    void SetPresenter(ConnectionPresenter* presenter);
    // The window is going away. Window thread.
    void Detach();
    bool Detached() const { return Detached_.load(); }

    // --- MessageSurface: the window's boxes, offering the system's reason as their details, as
    // the log line has it. Window thread.
    void Show(const LinkMessage& message, const std::optional<SystemError>& reason) override;

    // --- ConnectionHost
    void Fault(ConnectionFault fault, const std::optional<SystemError>& reason) override;
    // BitBtn1 off while open. A close switches the waveform off first and turns BitBtn1 on
    // once the port is released.
    void PortOpened() override;
    void PortClosing() override;
    void PortClosed() override;
    void TxCountChanged(std::int32_t txCount) override; // Label9
    void AutoSendSwitched(bool on) override; // Button4's caption
    // Throws std::runtime_error("Not enough timers available") when Timer1 cannot run.
    void EnableTimer(std::uint32_t periodMs) override;
    void DisableTimer() override;
    void ProcessReceivedBytes(std::span<const std::uint8_t> bytes) override;
    bool PostCommNotify(CommHandle handle) override;

    // Timer1 enabled with period 0: on, but no ticks (a Qt timer of 0 would fire continuously).
    bool TimerIdleOn() const { return TimerIdleOn_; }

    // The window shows a picture now, or presented a read that its next picture shows; the
    // picture after can follow `frame` later. Window thread.
    void PictureShown(std::chrono::nanoseconds frame);

private:
    class Relay;
    TForm1* Window() const;
    // Until the window can show its next picture, or it goes. Reader thread.
    void WaitForNextPicture();

    // Lives on the window thread and as long as the host, so the reader always has a valid
    // object to post to, whatever happened to the window.
    Relay* Relay_ = nullptr;
    // Set once at construction, so the reader can tell threads apart without asking Qt.
    QThread* const WindowThread_;
    std::atomic<bool> Detached_{false};
    bool TimerIdleOn_ = false;
    // When the next picture can be shown, on the steady clock.
    std::atomic<std::chrono::steady_clock::rep> NextPicture_{0};
    std::mutex WaitLock_;
    std::condition_variable WaitWake_;
};

// The window wired to one serial connection: the buttons and the timer go to its presenter (or,
// where they carry no text, to the connection), WM_COMMNOTIFY and the window's close to the
// connection, and the connection's effects to the window's controls.
// Made and owned by the window (TForm1::AttachSerialLink).
class SerialLink {
public:
    SerialLink(TForm1& form, std::shared_ptr<SerialPlatform> platform);
    // Releases an open port without touching the window and lets go of the window.
    ~SerialLink();
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    SerialConnection& Connection() { return *Connection_; }
    const SerialConnection& Connection() const { return *Connection_; }
    ConnectionPresenter& Presenter() { return *Presenter_; }
    const std::shared_ptr<WindowConnectionHost>& Host() const { return Host_; }

private:
    TForm1& Form_;
    std::shared_ptr<WindowConnectionHost> Host_;
    std::unique_ptr<SerialConnection> Connection_;
    std::unique_ptr<ConnectionPresenter> Presenter_;
};

} // namespace rv
