#include "rangeview/tools/MonitorOptions.h"

#include "rangeview/common/IntegerText.h"
#include "rangeview/tools/Cli.h"
#include "rangeview/tools/Monitor.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace rv {
namespace {

MonitorOptions Parse(std::vector<std::string_view> args)
{
    return ParseMonitorOptions(args);
}

// The message of the usage error the arguments give, or "" when they parse.
std::string UsageError(std::vector<std::string_view> args)
{
    try {
        Parse(args);
    } catch (const MonitorUsageError& error) {
        return error.what();
    }
    return "";
}

std::string ConversionError(std::vector<std::string_view> args)
{
    try {
        Parse(args);
    } catch (const ConvertError& error) {
        return error.what();
    }
    return "";
}

TEST(MonitorOptions, DefaultsAreTheWindowsStartValues)
{
    const MonitorOptions options = Parse({"--port", "ttyUSB0"});
    EXPECT_FALSE(options.Help);
    EXPECT_EQ(options.Port, "ttyUSB0");
    EXPECT_EQ(options.BaudText, "9600");
    EXPECT_FALSE(options.SendText);
    EXPECT_FALSE(options.EveryText);
    EXPECT_FALSE(options.Count);
}

TEST(MonitorOptions, EveryOptionSeparateOrInline)
{
    const MonitorOptions a = Parse({"--port", "/dev/pts/3", "--baud", "115200", "--send",
                                    "A5 15 BA", "--every", "50", "--count", "5"});
    const MonitorOptions b =
        Parse({"--port=/dev/pts/3", "--baud=115200", "--send=A5 15 BA", "--every=50", "--count=5"});
    for (const auto& options : {a, b}) {
        EXPECT_EQ(options.Port, "/dev/pts/3");
        EXPECT_EQ(options.BaudText, "115200");
        EXPECT_EQ(options.SendText, "A5 15 BA");
        EXPECT_EQ(options.EveryText, "50");
        EXPECT_EQ(options.EveryMs, 50u);
        EXPECT_EQ(options.Count, 5u);
    }
    // A value that looks like an option is still the value; the last of a repeated option wins.
    EXPECT_EQ(Parse({"--port", "--baud"}).Port, "--baud");
    EXPECT_EQ(Parse({"--port", "a", "--baud", "1200", "--baud", "4800"}).BaudText, "4800");
    // An empty port name is left to the open, which refuses it as the window does.
    EXPECT_EQ(Parse({"--port", ""}).Port, "");
    EXPECT_EQ(Parse({"--port="}).Port, "");
}

TEST(MonitorOptions, BaudAndPeriodUseTheWindowsIntegerText)
{
    EXPECT_EQ(ConversionError({"--port", "a", "--baud", "9x6"}),
              "'9x6' is not a valid integer value");
    EXPECT_EQ(ConversionError({"--port", "a", "--baud", ""}), "'' is not a valid integer value");
    EXPECT_EQ(ConversionError({"--port", "a", "--baud", "4294967296"}),
              "'4294967296' is not a valid integer value");
    EXPECT_EQ(Parse({"--port", "a", "--baud", " $E100"}).BaudText, " $E100");
    // A number the port will refuse is the port's business, as in the window.
    EXPECT_EQ(Parse({"--port", "a", "--baud", "-5"}).BaudText, "-5");

    EXPECT_EQ(ConversionError({"--port", "a", "--send", "A5", "--every", "abc"}),
              "'abc' is not a valid integer value");
    EXPECT_EQ(Parse({"--port", "a", "--send", "A5", "--every", "0x32"}).EveryMs, 50u);
    EXPECT_EQ(Parse({"--port", "a", "--send", "A5", "--every", "2147483647"}).EveryMs, 2147483647u);
    // Periods that would never tick (0) or tick after 49 days (negative) are refused.
    EXPECT_NE(UsageError({"--port", "a", "--send", "A5", "--every", "0"}), "");
    EXPECT_NE(UsageError({"--port", "a", "--send", "A5", "--every", "-50"}), "");
}

TEST(MonitorOptions, SendTextMustSendSomethingThatFits)
{
    EXPECT_EQ(Parse({"--port", "a", "--send", "a5 4 5ea"}).SendText, "a5 4 5ea");
    EXPECT_NE(UsageError({"--port", "a", "--send", ""}), "");
    EXPECT_NE(UsageError({"--port", "a", "--send", "xyz 中文"}).find("no hexadecimal digits"),
              std::string::npos);
    const std::string fits(2 * 5121, 'F');
    const std::string tooLong(2 * 5121 + 1, 'F');
    EXPECT_EQ(UsageError({"--port", "a", "--send", fits}), "");
    EXPECT_NE(UsageError({"--port", "a", "--send", tooLong}).find("5122 bytes"), std::string::npos);
}

TEST(MonitorOptions, CountIsAPositiveWholeNumber)
{
    EXPECT_EQ(Parse({"--port", "a", "--count", "1"}).Count, 1u);
    EXPECT_EQ(Parse({"--port", "a", "--count", "18446744073709551615"}).Count,
              18446744073709551615u);
    for (std::string_view bad : {"0", "-1", "+3", "1.5", "", "5x", " 5", "18446744073709551616"})
        EXPECT_NE(UsageError({"--port", "a", "--count", bad}), "") << bad;
}

TEST(MonitorOptions, RecordingStatisticsAndReconnect)
{
    const MonitorOptions none = Parse({"--port", "a"});
    EXPECT_EQ(none.CsvPath, "");
    EXPECT_EQ(none.RawPath, "");
    EXPECT_FALSE(none.Stats);
    EXPECT_EQ(none.StatsEverySeconds, 0);
    EXPECT_FALSE(none.Reconnect);

    const MonitorOptions all = Parse({"--port", "a", "--csv", "r.csv", "--raw=r.cap", "--stats",
                                      "--stats-every", "2.5", "--reconnect"});
    EXPECT_EQ(all.CsvPath, "r.csv");
    EXPECT_EQ(all.RawPath, "r.cap");
    EXPECT_TRUE(all.Stats);
    EXPECT_EQ(all.StatsEverySeconds, 2.5);
    EXPECT_TRUE(all.Reconnect);
    EXPECT_TRUE(Parse({"--port", "a", "--stats-every", "60"}).Stats) << "a period implies --stats";

    for (std::string_view bad : {"0", "0.05", "-1", "abc", "", "1e9", "nan", "inf", "5s"})
        EXPECT_NE(UsageError({"--port", "a", "--stats-every", bad}).find("--stats-every needs"),
                  std::string::npos)
            << bad;
    EXPECT_EQ(UsageError({"--port", "a", "--csv", ""}), "--csv needs a file name");
    EXPECT_EQ(UsageError({"--port", "a", "--raw"}), "--raw needs a value");
    // Whether the file exists or not: both writers would end up in one file.
    for (const auto& [csv, raw] : std::vector<std::pair<std::string_view, std::string_view>>{
             {"x", "x"}, {"x", "./x"}, {"/dev/null", "/dev/../dev/null"}})
        EXPECT_EQ(UsageError({"--port", "a", "--csv", csv, "--raw", raw}),
                  "--csv and --raw name the same file")
            << raw;
    EXPECT_EQ(UsageError({"--port", "a", "--stats=yes"}), "--stats takes no value");

    const MonitorOptions files = Parse({"--port", "a", "--csv", "r.csv", "--overwrite"});
    EXPECT_TRUE(files.Overwrite);
    EXPECT_EQ(files.RotateHours, 0);
    EXPECT_EQ(files.CsvByteOrderMark, std::nullopt) << "the system's default";
    EXPECT_EQ(Parse({"--port", "a", "--raw", "r", "--rotate", "0.0001"}).RotateHours, 0.0001);
    EXPECT_EQ(Parse({"--port", "a", "--csv", "r", "--rotate=8760"}).RotateHours, 8760);
    EXPECT_EQ(Parse({"--port", "a", "--csv", "r", "--csv-bom"}).CsvByteOrderMark, true);
    EXPECT_EQ(Parse({"--port", "a", "--csv", "r", "--csv-bom", "--no-csv-bom"}).CsvByteOrderMark,
              false);
    for (std::string_view bad : {"0", "0.00009", "-1", "8761", "nan", "inf", "1h", ""})
        EXPECT_NE(UsageError({"--port", "a", "--csv", "r", "--rotate", bad})
                      .find("--rotate needs a number of hours from 0.0001 to 8760"),
                  std::string::npos)
            << bad;
    // Options that shape files nobody asked for are mistakes.
    EXPECT_NE(UsageError({"--port", "a", "--overwrite"}), "");
    EXPECT_NE(UsageError({"--port", "a", "--rotate", "1"}), "");
    EXPECT_NE(UsageError({"--port", "a", "--raw", "r", "--csv-bom"}), "");
    EXPECT_NE(UsageError({"--port", "a", "--no-csv-bom"}), "");
    EXPECT_EQ(UsageError({"--port", "a", "--csv", "r", "--rotate", "1", "--overwrite"}),
              "--rotate names fresh files, so --overwrite has nothing to replace");
    EXPECT_EQ(UsageError({"--port", "a", "--reconnect=1"}), "--reconnect takes no value");
}

TEST(MonitorOptions, MalformedCommandLines)
{
    EXPECT_EQ(UsageError({}), "--port is required");
    EXPECT_EQ(UsageError({"--baud", "9600"}), "--port is required");
    EXPECT_EQ(UsageError({"--port"}), "--port needs a value");
    EXPECT_EQ(UsageError({"--port", "a", "--count"}), "--count needs a value");
    EXPECT_NE(UsageError({"--port", "a", "--every", "50"}).find("--send"), std::string::npos);
    EXPECT_EQ(UsageError({"--port", "a", "--rate", "5"}), "unknown option '--rate'");
    EXPECT_EQ(UsageError({"--port", "a", "-x"}), "unknown option '-x'");
    EXPECT_EQ(UsageError({"--port", "a", "ttyS0"}), "unexpected argument 'ttyS0'");
    EXPECT_EQ(UsageError({"--help=yes"}), "--help takes no value");
    // Help needs nothing else.
    EXPECT_TRUE(Parse({"--help"}).Help);
    EXPECT_TRUE(Parse({"-h", "--count", "3"}).Help);
}

TEST(MonitorOptions, FleetAddressesAndTheirMistakes)
{
    const auto mqtt = [](std::string_view url) {
        return *Parse({"--port", "a", "--mqtt", url}).Fleet.Mqtt;
    };
    const MqttTarget plain = mqtt("mqtt://broker.lan/plant/tank1/");
    EXPECT_EQ(plain.Host, "broker.lan");
    EXPECT_EQ(plain.Port, 1883);
    EXPECT_FALSE(plain.Tls);
    EXPECT_EQ(plain.Prefix, "plant/tank1");
    const MqttTarget tls = mqtt("mqtts://[::1]/t");
    EXPECT_EQ(tls.Host, "::1");
    EXPECT_EQ(tls.Port, 8883);
    EXPECT_TRUE(tls.Tls);
    EXPECT_EQ(mqtt("mqtt://10.0.0.2:11883/t").Port, 11883);

    const auto metrics = [](std::string_view text) {
        return *Parse({"--port", "a", "--metrics", text}).Fleet.Metrics;
    };
    EXPECT_EQ(metrics("9100").Host, "127.0.0.1"); // this machine only, unless told
    EXPECT_EQ(metrics("9100").Port, 9100);
    EXPECT_EQ(metrics("0.0.0.0:9101").Host, "0.0.0.0");
    EXPECT_EQ(metrics("[::1]:9102").Host, "::1");

    for (const auto& [url, why] : std::vector<std::pair<std::string_view, std::string_view>>{
             {"tcp://broker/t", "give mqtt://"},
             {"mqtt://user:pw@broker/t", "would show in the process list"},
             {"mqtt://broker", "name the topic prefix"},
             {"mqtt://broker/", "name the topic prefix"},
             {"mqtt://broker/plant/+/x", "wildcards"},
             {"mqtt://broker/a#", "wildcards"},
             {"mqtt://broker/$SYS", "belong to the broker"},
             {"mqtt://broker/a//b", "empty level"},
             {"mqtt://broker:0/t", "from 1 to 65535"},
             {"mqtt://broker:70000/t", "from 1 to 65535"},
             {"mqtt://:1883/t", "names no host"},
             {"mqtt://::1/t", "in brackets"},
             {"mqtt://broker/\xff", "UTF-8"}}) {
        EXPECT_NE(UsageError({"--port", "a", "--mqtt", url}).find(why), std::string::npos) << url;
    }
    EXPECT_NE(UsageError({"--port", "a", "--metrics", "host"}).find("needs a port"),
              std::string::npos);
    EXPECT_NE(UsageError({"--port", "a", "--metrics", "99999"}).find("from 1 to 65535"),
              std::string::npos);
    EXPECT_NE(UsageError({"--port", "a", "--mqtt-readings"}).find("give --mqtt"),
              std::string::npos);
    EXPECT_NE(UsageError({"--port", "a", "--mqtt-every", "1"}).find("give --mqtt"),
              std::string::npos);
    EXPECT_NE(
        UsageError({"--port", "a", "--mqtt", "mqtt://b/t", "--mqtt-ca", "ca.crt"}).find("mqtts://"),
        std::string::npos);
    EXPECT_NE(UsageError({"--port", "a", "--mqtt", "mqtt://b/t", "--mqtt-every", "0.01"}), "");
}

struct CliRun {
    int Status;
    std::string Out;
    std::string Err;
};

CliRun RunMonitorCli(std::vector<std::string_view> args)
{
    std::vector<CliCommand> commands = StandardCliCommands();
    commands.push_back(MonitorCliCommand());
    std::ostringstream out;
    std::ostringstream err;
    CliIo io{-1, out, err};
    const int status = RunCli(args, commands, io);
    return {status, out.str(), err.str()};
}

TEST(MonitorCli, UsageAndCommandLineErrors)
{
    const CliRun help = RunMonitorCli({"--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("\n  monitor --port NAME [--baud N] [--send TEXT] [--every MS] "
                            "[--count K] [--csv FILE] [--raw FILE] [--overwrite] [--rotate HOURS] "
                            "[--csv-bom | --no-csv-bom] [--stats] [--stats-every S] "
                            "[--reconnect] [--mqtt URL ...] [--metrics HOST:PORT]\n"
                            "                          print elapsed_ms,"),
              std::string::npos)
        << help.Out;
    // Short usages keep their summary on the same line.
    EXPECT_NE(help.Out.find("\n  commands                list the nine"), std::string::npos);

    const CliRun monitorHelp = RunMonitorCli({"monitor", "--help"});
    EXPECT_EQ(monitorHelp.Status, 0);
    EXPECT_EQ(monitorHelp.Out, std::string(MonitorUsage()) + std::string(FleetUsage()));
    EXPECT_TRUE(monitorHelp.Err.empty());

    const CliRun noPort = RunMonitorCli({"monitor"});
    EXPECT_EQ(noPort.Status, 2);
    EXPECT_EQ(noPort.Err, "rangeview-cli: monitor: --port is required (see monitor --help)\n");

    const CliRun badBaud =
        RunMonitorCli({"monitor", "--port", "/nonexistent/rv", "--baud", "fast"});
    EXPECT_EQ(badBaud.Status, 2);
    EXPECT_EQ(badBaud.Err, "rangeview-cli: monitor: 'fast' is not a valid integer value\n");
    EXPECT_TRUE(badBaud.Out.empty());
}

} // namespace
} // namespace rv
