#include "rangeview/tools/Monitor.h"

#include "rangeview/common/IntegerText.h"
#include "rangeview/serial/SystemPlatform.h"
#include "rangeview/tools/LoopEvents.h"
#include "rangeview/tools/MonitorOptions.h"
#include "rangeview/tools/MonitorSession.h"
#include "RawIo.h"

namespace rv {

namespace {

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
    MonitorSession session(std::move(options), MakeSystemPlatform(), io, StandardErrorFd);
    const StopSignals stop(session.Host().Events());
    if (!stop.Ok()) {
        io.Err << "rangeview-cli: monitor: cannot set up the stop signals\n";
        return 1;
    }
    return session.Run();
}

} // namespace

CliCommand MonitorCliCommand()
{
    return {"monitor",
            "monitor --port NAME [--baud N] [--send TEXT] [--every MS] [--count K] [--csv FILE] "
            "[--raw FILE] [--overwrite] [--rotate HOURS] [--csv-bom | --no-csv-bom] [--stats] "
            "[--stats-every S] [--reconnect]",
            "print elapsed_ms,distance_mm,mode per reading from a serial port (see monitor "
            "--help)",
            Monitor};
}

} // namespace rv
