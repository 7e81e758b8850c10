#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "rangeview/tools/fleet/FleetOptions.h"

namespace rv {

// A command line that cannot be run; the message is one line without the program name.
class MonitorUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Command line of `rangeview-cli monitor`.
struct MonitorOptions {
    bool Help = false;
    std::string Port; // as the window's port list names it, or a path
    std::string BaudText = "9600"; // the window's default baud item
    std::optional<std::string> SendText; // sent once after opening
    // Auto-send period, kept as typed: the auto-send switch converts it itself.
    std::optional<std::string> EveryText;
    std::uint32_t EveryMs = 0;
    std::optional<std::uint64_t> Count; // stop after this many readings
    std::string CsvPath; // one row per reading; empty: none
    std::string RawPath; // capture of every received byte; empty: none
    bool Overwrite = false; // replace existing --csv and --raw files instead of refusing them
    double RotateHours = 0; // begin new --csv and --raw files this often; 0: never
    std::optional<bool> CsvByteOrderMark; // --csv-bom, --no-csv-bom; none: the system's default
    bool Stats = false; // statistics on standard error at the end
    double StatsEverySeconds = 0; // and every so often (0: only at the end)
    bool Reconnect = false; // keep going when the port vanishes
    FleetOptions Fleet; // --mqtt..., --metrics
};

// Throws MonitorUsageError for a malformed command line and ConvertError (with the window's
// text) for a baud rate or period that is not an integer.
MonitorOptions ParseMonitorOptions(std::span<const std::string_view> args);

std::string_view MonitorUsage() noexcept;

} // namespace rv
