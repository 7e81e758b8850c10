#include "rangeview/tools/MonitorOptions.h"

#include "rangeview/common/IntegerText.h"
#include "rangeview/protocol/CommandText.h"
#include "rangeview/tools/ArgCursor.h"
#include "rangeview/tools/ReadingTable.h"
#include "RawIo.h"

#include <charconv>
#include <cmath>

namespace rv {

namespace {

std::uint64_t ParseCount(std::string_view text)
{
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0)
        throw MonitorUsageError("--count needs a whole number of readings from 1 to " +
                                std::to_string(UINT64_MAX) + ", not '" + std::string(text) + "'");
    return value;
}

// The same integer text the window accepts for its period; only a period that actually ticks
// makes sense here (the window's 0 would switch auto-send on without ever sending).
std::uint32_t ParsePeriod(std::string_view text)
{
    const std::int32_t value = StrToInt(text);
    if (value <= 0)
        throw MonitorUsageError("--every needs a period in milliseconds from 1 to 2147483647, "
                                "not '" +
                                std::string(text) + "'");
    return static_cast<std::uint32_t>(value);
}

double ParseSeconds(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value) || value < 0.1 || value > 86400)
        throw MonitorUsageError("--stats-every needs a number of seconds from 0.1 to 86400, "
                                "not '" +
                                std::string(text) + "'");
    return value;
}

// Fractions let a trial rotate every few seconds; a year is as long as a period gets.
double ParseHours(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value) || value < 0.0001 || value > 8760)
        throw MonitorUsageError("--rotate needs a number of hours from 0.0001 to 8760, not '" +
                                std::string(text) + "'");
    return value;
}

std::string ParsePath(std::string_view option, std::string_view text)
{
    if (text.empty())
        throw MonitorUsageError(std::string(option) + " needs a file name");
    return std::string(text);
}

// A text that sends nothing, or more than one send can hold, would only repeat a message (or
// silently do nothing) on every send; refuse it before the port is touched.
void CheckSendText(std::string_view text)
{
    if (text.empty())
        throw MonitorUsageError("--send needs a command text such as \"A5 15 BA\"");
    const std::size_t count = CommandTextToBytes(text).size();
    if (count == 0)
        throw MonitorUsageError("--send '" + std::string(text) +
                                "' holds no hexadecimal digits, so nothing would be sent");
    if (count > TransmitBufferSize)
        throw MonitorUsageError("--send text gives " + std::to_string(count) +
                                " bytes; one send holds at most " +
                                std::to_string(TransmitBufferSize));
}

} // namespace

std::string_view MonitorUsage() noexcept
{
    // The columns as the reading table defines them.
    static const std::string text =
        std::string(
            "usage: rangeview-cli monitor --port NAME [--baud N] [--send TEXT] [--every MS] "
            "[--count K]\n"
            "                            [--csv FILE] [--raw FILE] [--overwrite]\n"
            "                            [--rotate HOURS] [--csv-bom | --no-csv-bom]\n"
            "                            [--stats] [--stats-every S] [--reconnect]\n"
            "                            [--mqtt URL ...] [--metrics HOST:PORT]\n"
            "Opens the serial port like the window does and prints one line\n") +
        std::string(ReadingLine::Columns) +
        " per reading (milliseconds since the port opened).\n"
        "Notices and messages go to standard error. Ctrl-C or SIGTERM closes the port.\n"
        "  --port NAME      the port: a device path, or a name under /dev (ttyUSB0)\n"
        "  --baud N         baud rate (default 9600)\n"
        "  --send TEXT      command text sent once after opening, e.g. \"A5 15 BA\"\n"
        "  --every MS       with --send: send it again every MS milliseconds (auto-send)\n"
        "  --count K        stop after K readings\n"
        "  --csv FILE       also write " +
        std::string(ReadingTable::Header) +
        " rows\n"
        "  --raw FILE       also write every received byte with its arrival time (capture)\n"
        "  --overwrite      replace a --csv or --raw file that exists (else it is refused)\n"
        "  --rotate HOURS   begin new --csv and --raw files every HOURS hours (0.0001 to\n"
        "                   8760), named by their start in UTC: FILE-YYYYMMDD-HHMMSS.csv\n"
        "  --csv-bom        begin the CSV with a UTF-8 byte-order mark, so that Excel on\n"
        "                   Windows shows mode_name right (the Windows build's default)\n"
        "  --no-csv-bom     leave the mark out (the default elsewhere)\n"
        "  --stats          print statistics on standard error at the end\n"
        "  --stats-every S  and every S seconds\n"
        "  --reconnect      when the port vanishes, reopen it every 500 ms until it is back\n"
        "Files are created new: a name that exists, a link or a device is refused. Each is\n"
        "written beside its name and takes it (with --overwrite: replaces the old file)\n"
        "within a second of the first data: a run that records nothing leaves nothing.\n"
        "They are handed to the disk at least once a second and end at a whole row or\n"
        "record even when a write fails.\n"
        "Exit status: 0 after K readings or a stop signal; 1 when the port cannot be opened\n"
        "or fails, or a file cannot be written; 2 for a bad command line.\n";
    return text;
}

MonitorOptions ParseMonitorOptions(std::span<const std::string_view> args)
{
    MonitorOptions options;
    bool portGiven = false;
    for (ArgCursor<MonitorUsageError> arg(args); arg.Next();) {
        const std::string_view name = arg.Name();
        if (name == "-h" || name == "--help") {
            arg.NoValue();
            options.Help = true;
        } else if (name == "--port") {
            // An empty name is passed on: the open then fails as the window's would.
            options.Port = std::string(arg.Value());
            portGiven = true;
        } else if (name == "--baud") {
            options.BaudText = std::string(arg.Value());
            StrToInt(options.BaudText); // the window's conversion error, before the port opens
        } else if (name == "--send") {
            options.SendText = std::string(arg.Value());
            CheckSendText(*options.SendText);
        } else if (name == "--every") {
            options.EveryText = std::string(arg.Value());
            options.EveryMs = ParsePeriod(*options.EveryText);
        } else if (name == "--count") {
            options.Count = ParseCount(arg.Value());
        } else if (name == "--csv") {
            options.CsvPath = ParsePath(name, arg.Value());
        } else if (name == "--raw") {
            options.RawPath = ParsePath(name, arg.Value());
        } else if (name == "--overwrite") {
            arg.NoValue();
            options.Overwrite = true;
        } else if (name == "--rotate") {
            options.RotateHours = ParseHours(arg.Value());
        } else if (name == "--csv-bom" || name == "--no-csv-bom") {
            arg.NoValue();
            options.CsvByteOrderMark = name == "--csv-bom";
        } else if (name == "--stats") {
            arg.NoValue();
            options.Stats = true;
        } else if (name == "--stats-every") {
            options.StatsEverySeconds = ParseSeconds(arg.Value());
            options.Stats = true;
        } else if (name == "--reconnect") {
            arg.NoValue();
            options.Reconnect = true;
        } else if (ParseFleetOption(arg, options.Fleet)) {
        } else if (name.starts_with("-")) {
            throw MonitorUsageError("unknown option '" + std::string(arg.Arg()) + "'");
        } else {
            throw MonitorUsageError("unexpected argument '" + std::string(arg.Arg()) + "'");
        }
    }
    if (options.Help)
        return options;
    if (!portGiven)
        throw MonitorUsageError("--port is required");
    if (options.EveryText && !options.SendText)
        throw MonitorUsageError("--every repeats the --send text; give --send as well");
    // "s.dat" and "./s.dat", or two links of one file: both writers would end up in one file.
    if (!options.CsvPath.empty() && !options.RawPath.empty() &&
        (options.CsvPath == options.RawPath || SameFile(options.CsvPath, options.RawPath)))
        throw MonitorUsageError("--csv and --raw name the same file");
    const bool recording = !options.CsvPath.empty() || !options.RawPath.empty();
    if (options.Overwrite && !recording)
        throw MonitorUsageError("--overwrite replaces --csv and --raw files; give one of them");
    if (options.RotateHours > 0 && !recording)
        throw MonitorUsageError("--rotate begins new --csv and --raw files; give one of them");
    if (options.Overwrite && options.RotateHours > 0)
        throw MonitorUsageError(
            "--rotate names fresh files, so --overwrite has nothing to replace");
    if (options.CsvByteOrderMark && options.CsvPath.empty())
        throw MonitorUsageError("--csv-bom and --no-csv-bom shape the --csv file; give --csv");
    CheckFleetOptions(options.Fleet);
    return options;
}

} // namespace rv
