#include "rangeview/tools/Monitor.h"

#include "rangeview/common/IntegerText.h"
#include "rangeview/serial/SystemPlatform.h"
#include "rangeview/tools/MonitorOptions.h"
#include "rangeview/tools/MonitorSession.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace rv {

namespace {

volatile std::sig_atomic_t StopWriteFd = -1;

extern "C" void OnStopSignal(int)
{
    const int saved = errno;
    const int fd = StopWriteFd;
    if (fd >= 0) {
        const char byte = 's';
        [[maybe_unused]] const auto n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

// Turns SIGINT and SIGTERM into a readable pipe for the session's poll loop (whichever thread
// the signal lands on), and SIGPIPE into a write error the loop reports. Restores everything on
// destruction.
class StopSignals {
public:
    StopSignals()
    {
        int fds[2];
        if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
            return;
        Read_ = fds[0];
        Write_ = fds[1];
        StopWriteFd = Write_;
        struct sigaction action{};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, &OldInt_);
        ::sigaction(SIGTERM, &action, &OldTerm_);
        struct sigaction ignore{};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGPIPE, &ignore, &OldPipe_);
        Installed_ = true;
    }
    ~StopSignals()
    {
        if (Installed_) {
            ::sigaction(SIGINT, &OldInt_, nullptr);
            ::sigaction(SIGTERM, &OldTerm_, nullptr);
            ::sigaction(SIGPIPE, &OldPipe_, nullptr);
        }
        StopWriteFd = -1;
        if (Read_ >= 0)
            ::close(Read_);
        if (Write_ >= 0)
            ::close(Write_);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int ReadFd() const { return Read_; }

private:
    int Read_ = -1;
    int Write_ = -1;
    bool Installed_ = false;
    struct sigaction OldInt_{};
    struct sigaction OldTerm_{};
    struct sigaction OldPipe_{};
};

int Monitor(std::span<const std::string_view> args, CliIo& io)
{
    MonitorOptions options;
    try {
        options = ParseMonitorOptions(args);
    } catch (const MonitorUsageError& error) {
        io.Err << "rangeview-cli: monitor: " << error.what() << " (see monitor --help)\n";
        return 2;
    } catch (const ConvertError& error) {
        io.Err << "rangeview-cli: monitor: " << error.what() << '\n';
        return 2;
    }
    if (options.Help) {
        io.Out << MonitorUsage();
        return 0;
    }
    StopSignals stop;
    if (stop.ReadFd() < 0) {
        io.Err << "rangeview-cli: monitor: cannot set up the stop signals\n";
        return 1;
    }
    MonitorSession session(std::move(options), MakeSystemPlatform(), io, STDERR_FILENO);
    return session.Run(stop.ReadFd());
}

} // namespace

CliCommand MonitorCliCommand()
{
    return {"monitor", "monitor --port NAME [--baud N] [--send TEXT] [--every MS] [--count K]",
            "print elapsed_ms,distance_mm,mode per reading from a serial port (see monitor "
            "--help)",
            Monitor};
}

} // namespace rv
