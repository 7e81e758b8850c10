// rangeview-cli: the protocol from the command line, for scripts and logging.

#include "rangeview/tools/Cli.h"
#include "rangeview/tools/Monitor.h"
#include "rangeview/tools/Plot.h"
#include "ConsoleText.h"
#include "RawIo.h"

#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    std::vector<rv::CliCommand> commands = rv::StandardCliCommands();
    // Commands of other modules are appended here.
    commands.push_back(rv::MonitorCliCommand());
    commands.push_back(rv::PlotCliCommand());
    rv::UseBinaryStandardInput();
    rv::UseConsoleText();
    rv::CliIo io{rv::StandardInputFd, std::cout, std::cerr};
    return rv::RunCli(args, commands, io);
}
