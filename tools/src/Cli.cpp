#include "rangeview/tools/Cli.h"

#include "rangeview/protocol/CommandTable.h"
#include "rangeview/protocol/CommandText.h"
#include "rangeview/protocol/FrameDecoder.h"

#include <cerrno>
#include <cstring>
#include <exception>

#include "rangeview/tools/RawIo.h"

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
    if (args.size() > 1) {
        io.Err << "rangeview-cli: decode takes at most one file (default: standard input)\n";
        return 2;
    }
    if (args.empty() || args[0] == "-")
        return DecodeToLines(io.InFd, io);
    const std::string path(args[0]);
    const int fd = OpenForReading(path);
    if (fd < 0) {
        io.Err << "rangeview-cli: decode: cannot open '" << path << "': " << std::strerror(errno)
               << '\n';
        return 1;
    }
    const int status = DecodeToLines(fd, io);
    CloseDescriptor(fd);
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

int DecodeToLines(int fd, CliIo& io)
{
    FrameDecoder decoder;
    std::uint8_t buffer[64 * 1024];
    std::string lines;
    for (;;) {
        const long got = ReadSome(fd, buffer);
        if (got == 0)
            return 0;
        if (got < 0) {
            io.Err << "rangeview-cli: decode: cannot read input: " << std::strerror(errno)
                   << '\n';
            return 1;
        }
        lines.clear();
        for (long i = 0; i < got; ++i) {
            if (const auto reading = decoder.FeedByte(buffer[i])) {
                lines += std::to_string(reading->Distance);
                lines += ',';
                lines += std::to_string(reading->Mode);
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

std::vector<CliCommand> StandardCliCommands()
{
    return {
        {"encode", "encode TEXT...", "print the bytes a command text sends, as hex pairs", Encode},
        {"decode", "decode [FILE]",
         "print distance_mm,mode for each valid frame in raw bytes (default: stdin)", Decode},
        {"commands", "commands", "list the nine commands and their notes", ListCommands},
    };
}

int RunCli(std::span<const std::string_view> args, std::span<const CliCommand> commands,
           CliIo& io)
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
