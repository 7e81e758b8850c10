#include "rangeview/tools/Cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <stdexcept>
#include <sstream>
#include <unistd.h>

namespace rv {
namespace {

struct CliRun {
    int Status;
    std::string Out;
    std::string Err;
};

CliRun RunTool(std::vector<std::string_view> args, int inFd = -1,
               std::vector<CliCommand> commands = StandardCliCommands())
{
    std::ostringstream out;
    std::ostringstream err;
    CliIo io{inFd, out, err};
    const int status = RunCli(args, commands, io);
    return {status, out.str(), err.str()};
}

int OneLineCount(const std::string& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// A pipe already filled with bytes and closed for writing.
int PipeWith(const std::vector<std::uint8_t>& bytes)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    if (write(fds[1], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        return -1;
    close(fds[1]);
    return fds[0];
}

TEST(CliEncode, PrintsUpperCaseHexPairs)
{
    EXPECT_EQ(RunTool({"encode", "a545ea"}).Out, "A5 45 EA\n");
    EXPECT_EQ(RunTool({"encode", "A5 4 5EA"}).Out, "A5 04 5E 0A\n");
    // Separate arguments are joined by spaces, so a lone digit stays a lone digit.
    EXPECT_EQ(RunTool({"encode", "A5", "4", "EA"}).Out, "A5 04 EA\n");
    EXPECT_EQ(RunTool({"encode", "0xA5"}).Out, "00 A5\n");
    const CliRun none = RunTool({"encode", "中文 xyz"});
    EXPECT_EQ(none.Status, 0);
    EXPECT_EQ(none.Out, "\n");
    EXPECT_EQ(none.Err, "");
}

TEST(CliEncode, LongTextIsPrintedWithANoteAboutTheTransmitBuffer)
{
    const std::string text(2 * 5121 + 2, 'F');
    const CliRun run = RunTool({"encode", text});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out.size(), 5122u * 3);
    EXPECT_EQ(OneLineCount(run.Err), 1);
    EXPECT_NE(run.Err.find("5122 bytes"), std::string::npos);
    EXPECT_TRUE(RunTool({"encode", std::string(2 * 5121, 'F')}).Err.empty());
}

TEST(CliDecode, OneLinePerValidFrame)
{
    const int fd = PipeWith({0x00, 0x5A, 0x5A, 0x01, 0x03, 0x04, 0xD2, 0x03, 0x91, // 1234,3
                             0x5A, 0x5A, 0x01, 0x03, 0x04, 0xD2, 0x03, 0x90, // bad
                             0x5A, 0x5A, 0x02, 0x04, 0x00, 0x64, 0x01, 0x5A, 0x79, // 100,1
                             0x5A});
    const CliRun run = RunTool({"decode"}, fd);
    close(fd);
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, "1234,3\n100,1\n");
    EXPECT_EQ(run.Err, "");
}

TEST(CliDecode, UnreadableInputIsOneLineAndNonZero)
{
    const int dir = open("/", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dir, 0);
    const CliRun fromDir = RunTool({"decode"}, dir);
    close(dir);
    EXPECT_EQ(fromDir.Status, 1);
    EXPECT_EQ(OneLineCount(fromDir.Err), 1);
    EXPECT_NE(fromDir.Err.find("cannot read input"), std::string::npos);

    const CliRun missing = RunTool({"decode", "/nonexistent/rv/bytes"});
    EXPECT_EQ(missing.Status, 1);
    EXPECT_EQ(OneLineCount(missing.Err), 1);

    const CliRun closedFd = RunTool({"decode"}, 987);
    EXPECT_EQ(closedFd.Status, 1);
    EXPECT_EQ(OneLineCount(closedFd.Err), 1);
}

TEST(CliDispatch, UsageErrorsAndExtensions)
{
    EXPECT_EQ(RunTool({}).Status, 2);
    EXPECT_EQ(RunTool({"frobnicate"}).Status, 2);
    EXPECT_EQ(RunTool({"encode"}).Status, 2);
    EXPECT_EQ(RunTool({"decode", "a", "b"}).Status, 2);
    const CliRun help = RunTool({"--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("decode [FILE]"), std::string::npos);

    const CliRun table = RunTool({"commands"});
    EXPECT_EQ(OneLineCount(table.Out), 9);
    EXPECT_NE(table.Out.find("3  A5 50 F5  注释：设置成长距离测量模式 \n"), std::string::npos);

    // Other modules add commands; a failing one reports one line.
    auto commands = StandardCliCommands();
    commands.push_back({"boom", "boom", "fails",
                        [](auto, CliIo&) -> int { throw std::runtime_error("port gone"); }});
    commands.push_back({"echo", "echo", "echoes", [](auto args, CliIo& io) {
                            io.Out << args.size() << '\n';
                            return 5;
                        }});
    const CliRun boom = RunTool({"boom"}, -1, commands);
    EXPECT_EQ(boom.Status, 1);
    EXPECT_EQ(boom.Err, "rangeview-cli: boom: port gone\n");
    const CliRun echo = RunTool({"echo", "x", "y"}, -1, commands);
    EXPECT_EQ(echo.Status, 5);
    EXPECT_EQ(echo.Out, "2\n");
}

} // namespace
} // namespace rv
