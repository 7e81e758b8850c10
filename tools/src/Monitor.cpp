#include "rangeview/tools/Monitor.h"

#include "rangeview/common/IntegerText.h"
#include "rangeview/serial/SystemPlatform.h"
#include "rangeview/tools/LoopEvents.h"
#include "rangeview/tools/MonitorOptions.h"
#include "rangeview/tools/MonitorSession.h"
#include "rangeview/tools/ReadingTable.h"
#include "rangeview/tools/fleet/Fleet.h"
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
        io.Out << MonitorUsage() << FleetUsage();
        return 0;
    }
    // The broker and the metrics address are settled before any file or the port is touched.
    std::unique_ptr<Fleet> fleet;
    if (options.Fleet.Active()) {
        fleet = std::make_unique<Fleet>(
            options.Fleet, SystemDevicePath(options.Port), [](const std::string& line) {
                WriteAll(StandardErrorFd, "rangeview-cli: monitor: " + line + "\n");
            });
        if (const auto failure = fleet->Start()) {
            io.Err << "rangeview-cli: monitor: " << failure->Message << '\n';
            return failure->Status;
        }
    }
    MonitorSession session(std::move(options), MakeSystemPlatform(), io, StandardErrorFd);
    session.Host().SetObserver(fleet.get());
    const StopSignals stop(session.Host().Events());
    if (!stop.Ok()) {
        io.Err << "rangeview-cli: monitor: cannot set up the stop signals\n";
        return 1;
    }
    const int status = session.Run();
    if (fleet)
        fleet->Stop();
    return status;
}

} // namespace

CliCommand MonitorCliCommand()
{
    return {"monitor",
            "monitor --port NAME [--baud N] [--send TEXT] [--every MS] [--count K] [--csv FILE] "
            "[--raw FILE] [--overwrite] [--rotate HOURS] [--csv-bom | --no-csv-bom] [--stats] "
            "[--stats-every S] [--reconnect] [--mqtt URL ...] [--metrics HOST:PORT]",
            "print " + std::string(ReadingLine::Columns) +
                " per reading from a serial port (see monitor --help)",
            Monitor};
}

} // namespace rv
