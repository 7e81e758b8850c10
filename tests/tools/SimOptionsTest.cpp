#include "rangeview/tools/DistanceSignal.h"
#include "rangeview/tools/SimOptions.h"

#include <gtest/gtest.h>

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
    };
    for (const auto& args : bad)
        EXPECT_THROW(ParseSimOptions(args), ToolError) << args[0];
}

} // namespace
} // namespace rv
