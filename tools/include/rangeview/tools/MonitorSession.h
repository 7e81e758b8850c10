#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "rangeview/presenter/ConnectionPresenter.h"
#include "rangeview/serial/SerialConnection.h"
#include "rangeview/serial/SerialPlatform.h"
#include "rangeview/tools/Cli.h"
#include "rangeview/tools/MonitorHost.h"
#include "rangeview/tools/MonitorOptions.h"
#include "rangeview/tools/Recorder.h"

namespace rv {

// One run of `rangeview-cli monitor`: the window's connection driven from an event loop. The
// thread that makes the session plays the window thread; only the reader runs elsewhere.
//
// Exit statuses: 0 after the wanted readings or a stop request, 1 when the port cannot be
// opened or fails (or output or a recording cannot be written), 2 for a period or baud text
// that is not an integer.
class MonitorSession {
public:
    using Clock = MonitorHost::Clock;
    static constexpr std::chrono::milliseconds ReopenPeriod{500};

    // offThreadErrFd: where the reader's notices go (see MonitorHost).
    MonitorSession(MonitorOptions options, std::shared_ptr<SerialPlatform> platform, CliIo& io,
                   int offThreadErrFd);
    // Releases a connection still open, like the window's close.
    ~MonitorSession();
    MonitorSession(const MonitorSession&) = delete;
    MonitorSession& operator=(const MonitorSession&) = delete;

    // Creates the recording files, opens the port and makes the first send. An exit status
    // when the run is already over.
    std::optional<int> Start();
    // Handles notifications, timer ticks, file syncs, statistics and reopening until the run
    // is over. The loop ends with status 0 as soon as a stop is requested.
    int Loop();
    int Run();
    // Any thread, also a signal handler.
    void RequestStop() noexcept { Host_->Events().RequestStop(); }

    SerialConnection& Connection() { return *Connection_; }
    MonitorHost& Host() { return *Host_; }
    // True between losing the port and getting it back (--reconnect).
    bool Reopening() const { return Reopening_; }

private:
    std::optional<int> Outcome();
    // What follows every successful open: the first send and auto-send.
    std::optional<int> AfterOpen();
    bool PortLost();
    void BeginReopening();
    void TryReopen();
    void PrintStatistics();
    std::optional<Clock::time_point> NextWake() const;
    // Closes what is still open (the close button's path), lets the reader go, closes the
    // recording and prints the statistics.
    int Finish(int status);
    // Runs one connection handler; an exception is reported as one line instead of ending the
    // loop, as the window's error report would.
    template <class F>
    void Guarded(F&& handler);
    // Runs a step the run cannot go on without: after its one-line report, the exit status of
    // its failure (2 for a text that is not an integer, else 1); nullopt when it succeeded.
    template <class F>
    std::optional<int> Checked(F&& handler);
    // A send or tick, timed when the sends are queries.
    template <class F>
    void Send(F&& handler);

    MonitorOptions Options_;
    std::shared_ptr<SerialPlatform> Platform_;
    std::shared_ptr<MonitorHost> Host_;
    std::unique_ptr<SerialConnection> Connection_;
    std::unique_ptr<ConnectionPresenter> Presenter_;
    std::shared_ptr<const ConnectionLink> Link_;
    std::vector<std::shared_ptr<const ConnectionLink>> OldLinks_;
    Recorder Recorder_;
    bool Started_ = false;
    bool Reopening_ = false;
    Clock::time_point NextReopen_{};
    std::optional<Clock::time_point> NextStats_;
};

} // namespace rv
