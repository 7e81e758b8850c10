#pragma once

#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rv {

// Where a CLI command reads and writes. InFd is a descriptor read with ReadSome (RawIo.h), so
// that output can follow input as it arrives (a pipe from the simulator, a serial port).
struct CliIo {
    int InFd;
    std::ostream& Out;
    std::ostream& Err;
};

// One subcommand of rangeview-cli. Run gets the arguments after the command name and returns
// the exit status; it reports its own errors on io.Err as one line "rangeview-cli: ...".
struct CliCommand {
    std::string Name;
    std::string Usage; // e.g. "encode TEXT..."
    std::string Summary; // one line for the help text
    std::function<int(std::span<const std::string_view> args, CliIo& io)> Run;
};

// encode, decode, commands. Further commands are appended by the program's main.
std::vector<CliCommand> StandardCliCommands();

// Dispatches args (without the program name) to the named command. Unknown commands and a
// missing command print the usage on io.Err and return 2; "help"/"--help" print it on io.Out.
// Exceptions from a command are reported as one line and give 1.
int RunCli(std::span<const std::string_view> args, std::span<const CliCommand> commands, CliIo& io);

// The pieces of encode and decode, for reuse by other commands.
std::string FormatHexBytes(std::span<const std::uint8_t> bytes);
class CountingDecoder;
class LinkStatistics;
// Reads fd to its end, printing "distance_mm,mode" per valid frame as soon as it is decoded.
// Returns 0, or 1 after a one-line error when the input cannot be read. With `statistics`, the
// decoding counts there too.
int DecodeToLines(int fd, CliIo& io, CountingDecoder& decoder,
                  LinkStatistics* statistics = nullptr);
// Decodes a capture file (see Capture.h), printing "elapsed_ms,distance_mm,mode" per valid frame
// with the arrival time of the frame's last byte, as `monitor` printed it when recording.
// Returns 0, or 1 after a one-line error for a file that cannot be read or is not a capture;
// a damaged one is decoded up to its last whole record before the damage, then reported.
int DecodeCapture(const std::string& path, CliIo& io, CountingDecoder& decoder,
                  LinkStatistics& statistics, double& seconds);

} // namespace rv
