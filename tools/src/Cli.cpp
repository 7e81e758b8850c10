#include "rangeview/tools/Cli.h"

#include "rangeview/protocol/CommandTable.h"
#include "rangeview/protocol/CommandText.h"
#include "rangeview/protocol/FrameDecoder.h"
#include "rangeview/tools/ArgCursor.h"
#include "rangeview/tools/Capture.h"
#include "rangeview/tools/LinkStatistics.h"
#include "rangeview/tools/ReadingTable.h"
#include "rangeview/tools/ToolError.h"
#include "RawIo.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>

namespace rv {

namespace {

void PrintUsage(std::span<const CliCommand> commands, std::ostream& out)
{
    out << "usage: rangeview-cli COMMAND [ARGS]\n";
    for (const auto& command : commands) {
        out << "  " << command.Usage;
        // A long usage line gets its summary on the next line, in the same column.
        if (command.Usage.size() < 24)
            out << std::string(24 - command.Usage.size(), ' ');
        else
            out << '\n' << std::string(26, ' ');
        out << command.Summary << '\n';
    }
}

std::string Joined(std::span<const std::string_view> args)
{
    std::string text;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0)
            text += ' ';
        text += args[i];
    }
    return text;
}

int Encode(std::span<const std::string_view> args, CliIo& io)
{
    if (args.empty()) {
        io.Err << "rangeview-cli: encode needs the command text, e.g. encode \"A5 45 EA\"\n";
        return 2;
    }
    // Separate arguments are one text with single spaces, as if quoted.
    const std::vector<std::uint8_t> bytes = CommandTextToBytes(Joined(args));
    io.Out << FormatHexBytes(bytes) << '\n';
    if (bytes.size() > TransmitBufferSize)
        io.Err << "rangeview-cli: note: " << bytes.size() << " bytes exceed the "
               << TransmitBufferSize << "-byte transmit buffer; the window refuses this text\n";
    return 0;
}

int Decode(std::span<const std::string_view> args, CliIo& io)
{
    std::optional<std::string> file;
    std::optional<std::string> capture;
    bool stats = false;
    try {
        for (ArgCursor<ToolError> arg(args); arg.Next();) {
            const std::string_view name = arg.Name();
            if (name == "--capture") {
                capture = std::string(arg.Value());
                if (capture->empty())
                    throw ToolError("--capture needs a file name");
            } else if (name == "--stats") {
                arg.NoValue();
                stats = true;
            } else if (name.starts_with("-") && name != "-") {
                throw ToolError("unknown option '" + std::string(arg.Arg()) + "'");
            } else if (file) {
                throw ToolError("decode takes at most one file (default: standard input)");
            } else {
                file = std::string(arg.Arg());
            }
        }
        if (file && capture)
            throw ToolError("give either a file of raw bytes or --capture, not both");
    } catch (const ToolError& error) {
        io.Err << "rangeview-cli: decode: " << error.what() << '\n';
        return 2;
    }

    CountingDecoder decoder;
    LinkStatistics statistics;
    double seconds = 0;
    int status = 0;
    if (capture) {
        status = DecodeCapture(*capture, io, decoder, statistics, seconds);
    } else if (!file || *file == "-") {
        status = DecodeToLines(io.InFd, io, decoder, &statistics);
    } else {
        const int fd = OpenForReading(*file);
        if (fd < 0) {
            io.Err << "rangeview-cli: decode: cannot open '" << *file << "': " << LastFailureText()
                   << '\n';
            return 1;
        }
        status = DecodeToLines(fd, io, decoder, &statistics);
        CloseDescriptor(fd);
    }
    if (stats)
        io.Err << "rangeview-cli: decode: stats: "
               << statistics.Report(decoder, seconds, LinkStatistics::Clock::time_point()) << '\n';
    return status;
}

int ListCommands(std::span<const std::string_view> args, CliIo& io)
{
    if (!args.empty()) {
        io.Err << "rangeview-cli: commands takes no arguments\n";
        return 2;
    }
    for (std::size_t row = 0; row < CommandTable.size(); ++row)
        io.Out << row << "  " << CommandTable[row].ItemText << "  " << CommandTable[row].Note
               << '\n';
    return 0;
}

} // namespace

std::string FormatHexBytes(std::span<const std::uint8_t> bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

int DecodeToLines(int fd, CliIo& io, CountingDecoder& decoder, LinkStatistics* statistics)
{
    std::uint8_t buffer[64 * 1024];
    std::string lines;
    for (;;) {
        const long got = ReadSome(fd, buffer);
        if (got == 0)
            return 0;
        if (got < 0) {
            io.Err << "rangeview-cli: decode: cannot read input: " << LastFailureText() << '\n';
            return 1;
        }
        lines.clear();
        for (long i = 0; i < got; ++i) {
            if (const auto reading = decoder.FeedByte(buffer[i])) {
                if (statistics != nullptr)
                    statistics->AddReading(*reading);
                char line[ReadingLine::MaxSize];
                lines.append(line, PutUntimedReadingLine(line, *reading));
                lines += '\n';
            }
        }
        if (!lines.empty()) {
            io.Out << lines;
            io.Out.flush();
            if (!io.Out)
                return 1;
        }
    }
}

int DecodeCapture(const std::string& path, CliIo& io, CountingDecoder& decoder,
                  LinkStatistics& statistics, double& seconds)
{
    std::optional<CaptureReader> reader;
    try {
        reader.emplace(path);
    } catch (const ToolError& error) {
        io.Err << "rangeview-cli: decode: " << error.what() << '\n';
        return 1;
    }
    std::string lines;
    for (;;) {
        std::optional<CaptureRecord> record;
        try {
            record = reader->Next();
        } catch (const ToolError& error) {
            // What came before the damage is as good as any capture: it is printed first.
            io.Out.flush();
            io.Err << "rangeview-cli: decode: " << CaptureDamageNote(error.what(), "decoded")
                   << '\n';
            return 1;
        }
        if (!record)
            break;
        lines.clear();
        const auto elapsedMs = static_cast<std::int64_t>(record->TimeUs / 1000);
        for (const std::uint8_t b : record->Bytes) {
            if (const auto reading = decoder.FeedByte(b)) {
                statistics.AddReading(*reading);
                char line[ReadingLine::MaxSize];
                lines.append(line, PutReadingLine(line, elapsedMs, *reading));
                lines += '\n';
            }
        }
        seconds = static_cast<double>(record->TimeUs) / 1e6;
        if (!lines.empty()) {
            io.Out << lines;
            if (!io.Out)
                return 1;
        }
    }
    io.Out.flush();
    if (reader->Truncated())
        io.Err << "rangeview-cli: decode: note: " << CaptureCutShortNote(path, "decoded") << '\n';
    return 0;
}

std::vector<CliCommand> StandardCliCommands()
{
    return {
        {"encode", "encode TEXT...", "print the bytes a command text sends, as hex pairs", Encode},
        {"decode", "decode [FILE] [--stats] | decode --capture FILE [--stats]",
         "print " + std::string(ReadingLine::UntimedColumns) +
             " for each valid frame in raw bytes (default: stdin), or " +
             std::string(ReadingLine::Columns) + " from a monitor --raw capture",
         Decode},
        {"commands", "commands", "list the nine commands and their notes", ListCommands},
    };
}

int RunCli(std::span<const std::string_view> args, std::span<const CliCommand> commands, CliIo& io)
{
    if (args.empty()) {
        PrintUsage(commands, io.Err);
        return 2;
    }
    if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
        PrintUsage(commands, io.Out);
        return 0;
    }
    for (const auto& command : commands) {
        if (command.Name == args[0]) {
            try {
                return command.Run(args.subspan(1), io);
            } catch (const std::exception& error) {
                io.Err << "rangeview-cli: " << command.Name << ": " << error.what() << '\n';
                return 1;
            }
        }
    }
    io.Err << "rangeview-cli: unknown command '" << args[0] << "'\n";
    PrintUsage(commands, io.Err);
    return 2;
}

} // namespace rv
