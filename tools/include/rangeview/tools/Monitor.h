#pragma once

#include "rangeview/tools/Cli.h"

namespace rv {

// `rangeview-cli monitor`: readings from a real serial port, headless. SIGINT and SIGTERM close
// the port and end the run with status 0.
CliCommand MonitorCliCommand();

} // namespace rv
