#include "rangeview/tools/fleet/FleetMessages.h"
#include "rangeview/tools/fleet/FleetMetrics.h"
#include "rangeview/tools/fleet/Json.h"

#include <gtest/gtest.h>

#include <string>

namespace rv {
namespace {

std::string Quoted(std::string_view text)
{
    std::string out;
    AppendJsonString(out, text);
    return out;
}

// Port names and prefixes come from a command line and a file system: whatever they hold, the
// text published must stay valid JSON and valid UTF-8.
TEST(FleetText, JsonStringsSurviveHostileText)
{
    EXPECT_EQ(Quoted("COM3"), R"("COM3")");
    EXPECT_EQ(Quoted(R"(a"b\c)"), R"("a\"b\\c")");
    EXPECT_EQ(Quoted(std::string_view("\n\r\t\x01\x1f\x7f\0", 7)),
              R"("\n\r\t\u0001\u001f\u007f\u0000")");
    EXPECT_EQ(Quoted("一般模式"), R"("一般模式")");
    // Bytes that are no UTF-8: a lone continuation, a cut sequence, an overlong slash, a
    // surrogate, past U+10FFFF.
    EXPECT_EQ(Quoted("\x80|\xe4\xb8|\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80"),
              R"("\ufffd|\ufffd\ufffd|\ufffd\ufffd|\ufffd\ufffd\ufffd|\ufffd\ufffd\ufffd\ufffd")");
    EXPECT_TRUE(IsValidUtf8("\xf0\x9f\x93\x8f mm"));
    EXPECT_FALSE(IsValidUtf8("\xf0\x9f\x93"));

    // Figures the statistics cannot give are null, never a bare "-".
    StateFigures figures;
    figures.Sequence = 7;
    figures.Period = {{"readings", "0"}, {"modes", "-"}, {"latency_p50_ms", "-"}};
    const std::string state = StateJson(figures);
    EXPECT_NE(state.find(R"("distance_mm":null,"mode":null,"readings":0,"modes":{},)"
                         R"("latency_p50_ms":null,)"),
              std::string::npos)
        << state;

    MetricsLabels labels;
    labels.Port = "/dev/tty\"x\\\n";
    EXPECT_NE(RenderMetrics(FleetMetrics(), labels).find(R"(port="/dev/tty\"x\\\n")"),
              std::string::npos);
    EXPECT_EQ(NodeId("plant/tank 1"), "rangeview_plant_tank_1");
}

} // namespace
} // namespace rv
