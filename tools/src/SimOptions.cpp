#include "rangeview/tools/SimOptions.h"

#include "rangeview/tools/ArgCursor.h"
#include "rangeview/tools/ToolError.h"

#include <charconv>
#include <cmath>
#include <string>

namespace rv {

namespace {

std::uint64_t ParseCount(std::string_view option, std::string_view text, std::uint64_t min,
                         std::uint64_t max)
{
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < min || value > max)
        throw ToolError(std::string(option) + " needs a whole number from " + std::to_string(min) +
                        " to " + std::to_string(max) + ", not '" + std::string(text) + "'");
    return value;
}

double ParseSeconds(std::string_view option, std::string_view text, double max)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
        value <= 0 || value > max)
        throw ToolError(std::string(option) + " needs a number above 0 and up to " +
                        std::to_string(static_cast<long>(max)) + ", not '" + std::string(text) +
                        "'");
    return value;
}

// 0 is its own pace (as fast as the host reads); otherwise from a thousand times slower to a
// million times faster.
double ParseSpeed(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value) || (value != 0 && (value < 0.001 || value > 1e6)))
        throw ToolError("--speed needs 0 (as fast as the host reads) or a factor from 0.001 to "
                        "1000000, not '" +
                        std::string(text) + "'");
    return value;
}

} // namespace

std::string_view SimUsage() noexcept
{
    return "usage: rangeview-sim [options]\n"
           "A simulated ranging module. By default it opens a pseudo-terminal, prints the path of\n"
           "its port on the first line of standard output and streams frames at 10 Hz.\n"
           "  --stdout                 write frames to standard output instead\n"
           "  --link PATH              make PATH a symlink to the port\n"
           "  --rate HZ                automatic output rate (default 10)\n"
           "  --signal KIND            sine, steps, noise or file:PATH (default sine)\n"
           "  --mode M                 mode reported until a mode command (default 3)\n"
           "  --query                  start in query output (one frame per A5 15 BA)\n"
           "  --frames N               stop output after N frames (--stdout: then exit)\n"
           "  --bad-checksum-every K   every K-th frame has a wrong checksum\n"
           "  --stray-5a-every K       a stray 5A byte before every K-th frame\n"
           "  --split                  write the stream in small random pieces\n"
           "  --burst                  frames back to back at 11520 bytes/s, in large writes\n"
           "  --hangup-after SECONDS   drop the line (close the port or output) and exit\n"
           "  --seed N                 random seed for noise and --split (default 1)\n"
           "  --replay FILE            play a capture of monitor --raw instead, with its timing\n"
           "                           (from when the host opens the port; then stay idle);\n"
           "                           a damaged capture plays up to its last whole record\n"
           "  --speed X                replay X times as fast, 0.001 to 1000000 (default 1;\n"
           "                           0: as fast as the host reads)\n"
           "  --sent-log FILE          write every byte sent, with its time, as a capture\n"
           "On exit, and on SIGUSR1, it reports \"sent N frames (B bad checksum, S stray 5A)\"\n"
           "on standard error.\n";
}

SimOptions ParseSimOptions(std::span<const std::string_view> args)
{
    SimOptions options;
    bool speedGiven = false;
    std::string simulating; // the last option that only the simulation uses
    for (ArgCursor<ToolError> arg(args); arg.Next();) {
        const std::string_view name = arg.Name();
        if (name == "-h" || name == "--help") {
            arg.NoValue();
            options.Help = true;
        } else if (name == "--stdout") {
            arg.NoValue();
            options.Stdout = true;
        } else if (name == "--link") {
            options.LinkPath = std::string(arg.Value());
            if (options.LinkPath.empty())
                throw ToolError("--link needs a path");
        } else if (name == "--rate") {
            options.RateHz = ParseSeconds("--rate", arg.Value(), 10000.0);
        } else if (name == "--signal") {
            options.Signal = std::string(arg.Value());
        } else if (name == "--mode") {
            options.Mode = static_cast<int>(ParseCount("--mode", arg.Value(), 0, 255));
        } else if (name == "--query") {
            arg.NoValue();
            options.QueryMode = true;
        } else if (name == "--frames") {
            options.Frames = ParseCount("--frames", arg.Value(), 0, UINT64_MAX);
        } else if (name == "--bad-checksum-every") {
            options.BadChecksumEvery =
                static_cast<std::uint32_t>(ParseCount(name, arg.Value(), 1, UINT32_MAX));
        } else if (name == "--stray-5a-every") {
            options.StrayEvery =
                static_cast<std::uint32_t>(ParseCount(name, arg.Value(), 1, UINT32_MAX));
        } else if (name == "--split") {
            arg.NoValue();
            options.Split = true;
        } else if (name == "--burst") {
            arg.NoValue();
            options.Burst = true;
        } else if (name == "--hangup-after") {
            options.HangupAfter = ParseSeconds("--hangup-after", arg.Value(), 1e6);
        } else if (name == "--seed") {
            options.Seed = ParseCount("--seed", arg.Value(), 0, UINT64_MAX);
        } else if (name == "--replay") {
            options.ReplayPath = std::string(arg.Value());
            if (options.ReplayPath.empty())
                throw ToolError("--replay needs a capture file");
        } else if (name == "--speed") {
            options.Speed = ParseSpeed(arg.Value());
            speedGiven = true;
        } else if (name == "--sent-log") {
            options.SentLogPath = std::string(arg.Value());
            if (options.SentLogPath.empty())
                throw ToolError("--sent-log needs a file name");
        } else {
            throw ToolError("unknown option '" + std::string(arg.Arg()) + "'");
        }
        if (name != "--replay" && name != "--speed" && name != "--stdout" && name != "--link" &&
            name != "--split" && name != "--hangup-after" && name != "--sent-log" &&
            name != "--seed" && name != "-h" && name != "--help")
            simulating = std::string(name);
    }
    if (speedGiven && options.ReplayPath.empty())
        throw ToolError("--speed sets the pace of --replay; give --replay as well");
    if (!options.ReplayPath.empty() && !simulating.empty())
        throw ToolError(simulating + " shapes the simulated output; a replay sends the capture "
                                     "as it is");
    if (options.Stdout && !options.LinkPath.empty())
        throw ToolError("--link needs the pseudo-terminal; it cannot go with --stdout");
    return options;
}

} // namespace rv
