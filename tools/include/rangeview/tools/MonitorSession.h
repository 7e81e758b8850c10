#pragma once

#include <memory>
#include <optional>

#include "rangeview/serial/SerialConnection.h"
#include "rangeview/serial/SerialPlatform.h"
#include "rangeview/tools/Cli.h"
#include "rangeview/tools/MonitorHost.h"
#include "rangeview/tools/MonitorOptions.h"

namespace rv {

// One run of `rangeview-cli monitor`: the window's connection driven from an event loop. The
// thread that makes the session plays the window thread; only the reader runs elsewhere.
//
// Exit statuses: 0 after the wanted readings or a stop request, 1 when the port cannot be
// opened or fails (or output cannot be written), 2 for a period or baud text that is not an
// integer.
class MonitorSession {
public:
    // offThreadErrFd: where the reader's notices go (see MonitorHost).
    MonitorSession(MonitorOptions options, std::shared_ptr<SerialPlatform> platform, CliIo& io,
                   int offThreadErrFd);
    // Releases a connection still open, like the window's close.
    ~MonitorSession();
    MonitorSession(const MonitorSession&) = delete;
    MonitorSession& operator=(const MonitorSession&) = delete;

    // Opens the port and makes the first send. An exit status when the run is already over.
    std::optional<int> Start();
    // Handles notifications and timer ticks until the run is over. The loop ends with status 0
    // as soon as a stop is requested.
    int Loop();
    int Run();
    // Any thread, also a signal handler.
    void RequestStop() noexcept { Host_->Events().RequestStop(); }

    SerialConnection& Connection() { return *Connection_; }
    MonitorHost& Host() { return *Host_; }

private:
    std::optional<int> Outcome();
    // Closes what is still open (the close button's path) and lets the reader go.
    int Finish(int status);
    // Runs one connection handler; an exception is reported as one line instead of ending the
    // loop, as the window's error report would.
    template <class F>
    void Guarded(F&& handler);
    // Runs a step the run cannot go on without: after its one-line report, the exit status of
    // its failure (2 for a text that is not an integer, else 1); nullopt when it succeeded.
    template <class F>
    std::optional<int> Checked(F&& handler);

    MonitorOptions Options_;
    std::shared_ptr<SerialPlatform> Platform_;
    std::shared_ptr<MonitorHost> Host_;
    std::unique_ptr<SerialConnection> Connection_;
    std::shared_ptr<const ConnectionLink> Link_;
};

} // namespace rv
