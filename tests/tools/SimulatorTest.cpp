#include "rangeview/protocol/CommandTable.h"
#include "rangeview/protocol/FrameDecoder.h"
#include "rangeview/tools/DistanceSignal.h"
#include "rangeview/tools/SensorSimulator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace rv {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::uint8_t> ParsedCodes(const Bytes& bytes)
{
    CommandParser parser;
    std::vector<std::uint8_t> codes;
    for (std::uint8_t b : bytes)
        if (auto code = parser.Feed(b))
            codes.push_back(*code);
    return codes;
}

// Writes everything queued and decodes it.
std::vector<MeasurementReading> Drain(FrameOutputQueue& queue, FrameDecoder& decoder)
{
    std::vector<MeasurementReading> readings;
    for (std::uint8_t b : queue.Pending())
        if (auto reading = decoder.FeedByte(b))
            readings.push_back(*reading);
    queue.Consume(queue.Pending().size());
    return readings;
}

TEST(CommandParser, FindsCommandsAndResynchronises)
{
    for (const auto& row : CommandTable)
        EXPECT_EQ(ParsedCodes(Bytes(row.Bytes.begin(), row.Bytes.end())),
                  std::vector<std::uint8_t>{row.Bytes[1]});
    // Wrong check byte: nothing.
    EXPECT_TRUE(ParsedCodes({0xA5, 0x45, 0xEB}).empty());
    // A stray lead byte, a broken command just before a good one, noise around.
    EXPECT_EQ(ParsedCodes({0xA5, 0xA5, 0x45, 0xEA}), std::vector<std::uint8_t>{0x45});
    EXPECT_EQ(ParsedCodes({0xA5, 0x45, 0xA5, 0x15, 0xBA}), std::vector<std::uint8_t>{0x15});
    EXPECT_EQ(ParsedCodes({0x00, 0x5A, 0xA5, 0x50, 0xF5, 0xFF, 0xA5, 0x53, 0xF8}),
              (std::vector<std::uint8_t>{0x50, 0x53}));
}

TEST(FrameOutputQueue, CountsAFrameOnlyWhenItsLastByteIsWritten)
{
    FrameOutputQueue queue;
    const Bytes frame{0x5A, 0x5A, 0x01, 0x03, 0x04, 0xD2, 0x03, 0x91};
    ASSERT_TRUE(queue.PushFrame(frame, false, false));
    ASSERT_TRUE(queue.PushFrame(frame, true, false));
    queue.Consume(7);
    EXPECT_EQ(queue.FramesSent(), 0u);
    queue.Consume(1);
    EXPECT_EQ(queue.FramesSent(), 1u);
    queue.Consume(3);
    EXPECT_EQ(queue.Pending().size(), 5u);
    // The reader goes away halfway through the second frame: it is not sent.
    queue.Clear();
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.FramesSent(), 1u);
    EXPECT_EQ(queue.BadFramesSent(), 0u);
    EXPECT_EQ(queue.FramesDropped(), 1u);
    EXPECT_EQ(queue.BytesWritten(), 11u);
    // Later frames count normally again.
    queue.PushFrame(frame, true, true);
    queue.Consume(100);
    EXPECT_EQ(queue.FramesSent(), 2u);
    EXPECT_EQ(queue.BadFramesSent(), 1u);
    EXPECT_EQ(queue.StrayBytesSent(), 1u);
}

TEST(FrameOutputQueue, BoundedAndOrderPreserving)
{
    FrameOutputQueue queue(20);
    const Bytes frame(8, 0x11);
    EXPECT_TRUE(queue.PushFrame(frame, false, false));
    EXPECT_TRUE(queue.PushFrame(frame, false, false));
    EXPECT_FALSE(queue.PushFrame(frame, false, false));
    EXPECT_EQ(queue.FramesDropped(), 1u);

    // Many small writes across many pushes keep the byte order.
    FrameOutputQueue big;
    Bytes written;
    std::uint8_t next = 0;
    for (int round = 0; round < 500; ++round) {
        Bytes bytes(1 + round % 9);
        for (auto& b : bytes)
            b = next++;
        big.PushFrame(bytes, false, false);
        const auto pending = big.Pending();
        const std::size_t n = std::min<std::size_t>(pending.size(), 1 + round % 5);
        written.insert(written.end(), pending.begin(),
                       pending.begin() + static_cast<std::ptrdiff_t>(n));
        big.Consume(n);
    }
    const auto rest = big.Pending();
    written.insert(written.end(), rest.begin(), rest.end());
    big.Consume(rest.size());
    EXPECT_EQ(big.FramesSent(), 500u);
    for (std::size_t i = 0; i < written.size(); ++i)
        ASSERT_EQ(written[i], static_cast<std::uint8_t>(i));
}

TEST(SensorSimulator, AnswersTheNineCommands)
{
    SensorSimulator sim(DistanceSignal::FromValues({1234}), SimulatorSettings{});
    FrameOutputQueue queue;
    FrameDecoder decoder;
    std::vector<std::string> log;
    EXPECT_TRUE(sim.AutomaticOutput());
    EXPECT_EQ(sim.Mode(), 3);

    // Query: automatic output stops, one frame answers.
    sim.ReceiveFromHost(Bytes{0xA5, 0x15, 0xBA}, queue, log);
    EXPECT_FALSE(sim.AutomaticOutput());
    EXPECT_EQ(Drain(queue, decoder), (std::vector<MeasurementReading>{{1234, 3}}));

    // Mode commands change what frames report; a query in the same write sees it.
    sim.ReceiveFromHost(Bytes{0xA5, 0x51, 0xF6, 0xA5, 0x15, 0xBA}, queue, log);
    EXPECT_EQ(Drain(queue, decoder), (std::vector<MeasurementReading>{{1234, 1}}));
    for (std::uint8_t mode = 0; mode < 4; ++mode) {
        const auto& row = CommandTable[3 + mode];
        sim.ReceiveFromHost(row.Bytes, queue, log);
        EXPECT_EQ(sim.Mode(), mode);
    }

    // Save and baud changes are accepted without output.
    sim.ReceiveFromHost(CommandTable[7].Bytes, queue, log);
    EXPECT_EQ(sim.ModuleBaud(), 9600u);
    sim.ReceiveFromHost(CommandTable[8].Bytes, queue, log);
    EXPECT_EQ(sim.ModuleBaud(), 115200u);
    sim.ReceiveFromHost(CommandTable[2].Bytes, queue, log);
    EXPECT_TRUE(queue.Empty());

    sim.ReceiveFromHost(CommandTable[0].Bytes, queue, log);
    EXPECT_TRUE(sim.AutomaticOutput());

    // A well-formed but unknown code is logged as ignored.
    sim.ReceiveFromHost(Bytes{0xA5, 0x00, 0xA5}, queue, log);
    ASSERT_EQ(log.size(), 12u);
    EXPECT_EQ(log.front(), "command A5 15 BA: query: one frame");
    EXPECT_EQ(log.back(), "command A5 00 A5: ignored");
}

TEST(SensorSimulator, FaultsHitExactlyTheEveryKthFrame)
{
    SimulatorSettings settings;
    settings.BadChecksumEvery = 3;
    settings.StrayEvery = 4;
    SensorSimulator sim(DistanceSignal::Steps(), settings);
    FrameOutputQueue queue;
    for (int i = 0; i < 12; ++i)
        sim.EmitFrame(queue);
    // 12 frames, 12 * 8 bytes plus 3 stray bytes.
    EXPECT_EQ(queue.Pending().size(), 99u);
    FrameDecoder decoder;
    const auto readings = Drain(queue, decoder);
    EXPECT_EQ(queue.FramesSent(), 12u);
    EXPECT_EQ(queue.BadFramesSent(), 4u);
    EXPECT_EQ(queue.StrayBytesSent(), 3u);
    // Frames 3, 6, 9, 12 are bad; the strays before 4, 8, 12 cost 4 and 8 as well.
    EXPECT_EQ(readings.size(), 6u);
}

TEST(SensorSimulator, FrameLimitCoversQueriesToo)
{
    SimulatorSettings settings;
    settings.FrameLimit = 2;
    SensorSimulator sim(DistanceSignal::Sine(), settings);
    FrameOutputQueue queue;
    std::vector<std::string> log;
    sim.EmitFrame(queue);
    sim.ReceiveFromHost(Bytes{0xA5, 0x15, 0xBA, 0xA5, 0x15, 0xBA}, queue, log);
    sim.EmitFrame(queue);
    EXPECT_TRUE(sim.FrameLimitReached());
    EXPECT_EQ(queue.Pending().size(), 16u);
    EXPECT_EQ(log.back(), "command A5 15 BA: query: frame limit reached, no frame");
}

TEST(DistanceSignal, GeneratorsStayInTheirRanges)
{
    auto sine = DistanceSignal::Sine();
    std::vector<std::uint16_t> first;
    for (int i = 0; i < 200; ++i) {
        const auto d = sine.Next();
        ASSERT_GE(d, 500);
        ASSERT_LE(d, 2500);
        first.push_back(d);
    }
    EXPECT_EQ(first[0], 1500);
    EXPECT_EQ(first[25], 2500);
    EXPECT_EQ(first[75], 500);
    EXPECT_EQ(first[100], first[0]);

    auto a = DistanceSignal::Noise(42);
    auto b = DistanceSignal::Noise(42);
    for (int i = 0; i < 5000; ++i) {
        const auto d = a.Next();
        ASSERT_EQ(d, b.Next());
        ASSERT_GE(d, 20);
        ASSERT_LE(d, 12010);
    }
}

class SignalFile : public ::testing::Test {
protected:
    std::string Write(const std::string& text)
    {
        std::ofstream(Path_) << text;
        return "file:" + Path_;
    }
    void TearDown() override { std::remove(Path_.c_str()); }

    std::string Path_ = ::testing::TempDir() + "rv_signal_" + std::to_string(getpid()) + ".txt";
};

TEST_F(SignalFile, ReplaysDistancesAndDecodeOutput)
{
    // Plain values, comments, blank lines and "distance,mode" lines as decode prints them.
    auto signal = DistanceSignal::Parse(Write("# bench run\n100\n\n  2500 \n65535,3\r\n0,1\n"), 1);
    const std::uint16_t expected[] = {100, 2500, 65535, 0, 100};
    for (std::uint16_t value : expected)
        EXPECT_EQ(signal.Next(), value);
}

TEST_F(SignalFile, RejectsBadFiles)
{
    EXPECT_THROW(DistanceSignal::Parse(Write("100\n65536\n"), 1), ToolError);
    EXPECT_THROW(DistanceSignal::Parse(Write("12x\n"), 1), ToolError);
    EXPECT_THROW(DistanceSignal::Parse(Write("-5\n"), 1), ToolError);
    EXPECT_THROW(DistanceSignal::Parse(Write("# nothing\n\n"), 1), ToolError);
    EXPECT_THROW(DistanceSignal::Parse("file:/nonexistent/rv/signal", 1), ToolError);
    EXPECT_THROW(DistanceSignal::Parse("file:", 1), ToolError);
    EXPECT_THROW(DistanceSignal::Parse("square", 1), ToolError);
    try {
        DistanceSignal::Parse(Write("1\n2\nabc\n"), 1);
        FAIL();
    } catch (const ToolError& error) {
        EXPECT_NE(std::string(error.what()).find(":3: 'abc'"), std::string::npos) << error.what();
    }
}

} // namespace
} // namespace rv
