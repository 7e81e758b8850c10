#include "rangeview/tools/DistanceSignal.h"
#include "rangeview/tools/SimOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rv {
namespace {

SimOptions Parse(std::vector<std::string_view> args)
{
    return ParseSimOptions(args);
}

TEST(SimOptions, DefaultsAndValueForms)
{
    const SimOptions defaults = Parse({});
    EXPECT_FALSE(defaults.Stdout);
    EXPECT_DOUBLE_EQ(defaults.RateHz, 10.0);
    EXPECT_FALSE(defaults.QueryMode);
    EXPECT_FALSE(defaults.Frames);

    const SimOptions options = Parse({"--rate=2.5", "--signal", "file:a b", "--frames", "0",
                                      "--stray-5a-every=4", "--hangup-after", "0.5"});
    EXPECT_DOUBLE_EQ(options.RateHz, 2.5);
    EXPECT_EQ(options.Signal, "file:a b");
    EXPECT_EQ(options.Frames, 0u);
    EXPECT_EQ(options.StrayEvery, 4u);
    EXPECT_DOUBLE_EQ(options.HangupAfter, 0.5);
}

TEST(SimOptions, ReplayTakesACaptureAndAPace)
{
    const SimOptions defaults = Parse({});
    EXPECT_EQ(defaults.ReplayPath, "");
    EXPECT_DOUBLE_EQ(defaults.Speed, 1.0);
    EXPECT_EQ(defaults.SentLogPath, "");

    const SimOptions replay = Parse({"--replay", "field.cap", "--speed=0", "--link", "/tmp/r",
                                     "--split", "--sent-log", "sent.cap"});
    EXPECT_EQ(replay.ReplayPath, "field.cap");
    EXPECT_DOUBLE_EQ(replay.Speed, 0.0);
    EXPECT_EQ(replay.SentLogPath, "sent.cap");
    EXPECT_DOUBLE_EQ(Parse({"--replay", "f", "--speed", "2.5"}).Speed, 2.5);
    EXPECT_DOUBLE_EQ(Parse({"--replay", "f", "--speed", "0.001"}).Speed, 0.001);
    // The log of what is sent works for the simulation too.
    EXPECT_EQ(Parse({"--sent-log", "s.cap", "--rate", "50"}).SentLogPath, "s.cap");
}

TEST(SimOptions, ReplayRefusesWhatOnlyTheSimulationUses)
{
    for (std::string_view option : {"--query", "--burst"}) {
        const std::vector<std::string_view> args{"--replay", "f", option};
        EXPECT_THROW(ParseSimOptions(args), ToolError) << option;
    }
    for (std::string_view option :
         {"--rate", "--signal", "--mode", "--frames", "--bad-checksum-every", "--stray-5a-every"}) {
        const std::vector<std::string_view> args{option, "3", "--replay", "f"};
        try {
            ParseSimOptions(args);
            ADD_FAILURE() << option;
        } catch (const ToolError& error) {
            EXPECT_TRUE(std::string(error.what()).starts_with(std::string(option))) << error.what();
        }
    }
}

TEST(SimOptions, RejectsBadCommandLines)
{
    const std::vector<std::vector<std::string_view>> bad = {
        {"--bogus"},
        {"--rate"},
        {"--rate", "0"},
        {"--rate", "-3"},
        {"--rate", "nan"},
        {"--rate", "10x"},
        {"--mode", "256"},
        {"--bad-checksum-every", "0"},
        {"--stray-5a-every", "-1"},
        {"--frames", "1.5"},
        {"--hangup-after", "0"},
        {"--split=yes"},
        {"--link", ""},
        {"--stdout", "--link", "/tmp/x"},
        {"stdout"},
        {"--replay", ""},
        {"--replay", "f", "--speed", "-1"},
        {"--replay", "f", "--speed", "fast"},
        {"--replay", "f", "--speed", "inf"},
        {"--replay", "f", "--speed", "1e-15"}, // a record a century out would come at once
        {"--replay", "f", "--speed", "0.0009"},
        {"--replay", "f", "--speed", "1000001"},
        {"--speed", "2"},
        {"--sent-log", ""},
    };
    for (const auto& args : bad)
        EXPECT_THROW(ParseSimOptions(args), ToolError) << args[0];
}

} // namespace
} // namespace rv
