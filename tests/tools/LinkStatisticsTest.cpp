// Integrity counts beside the decoder, the running moments, and the statistics line.

#include "rangeview/tools/LinkStatistics.h"

#include "rangeview/protocol/FrameDecoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace rv {
namespace {

using namespace std::chrono_literals;

const std::vector<std::uint8_t> Good{0x5A, 0x5A, 0x01, 0x03, 0x04, 0xD2, 0x03, 0x91}; // 1234,3

CountingDecoder Fed(const std::vector<std::uint8_t>& bytes, int* readings = nullptr)
{
    CountingDecoder decoder;
    int count = 0;
    for (auto b : bytes)
        count += decoder.FeedByte(b) ? 1 : 0;
    if (readings != nullptr)
        *readings = count;
    return decoder;
}

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts)
{
    std::vector<std::uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(CountingDecoder, DecodesExactlyWhatTheBareDecoderDecodesWithTheSameState)
{
    // Random bytes rich in sync bytes and short lengths, so every path of the decoder is taken.
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(0, 9);
    std::uniform_int_distribution<int> any(0, 255);
    FrameDecoder bare;
    CountingDecoder counted;
    int readings = 0;
    for (int i = 0; i < 200000; ++i) {
        const int p = pick(rng);
        const auto b = static_cast<std::uint8_t>(p < 4 ? 0x5A : p < 6 ? p : any(rng));
        const auto expected = bare.FeedByte(b);
        const auto got = counted.FeedByte(b);
        ASSERT_EQ(got, expected) << "byte " << i;
        readings += got ? 1 : 0;
        const FrameDecoder& state = counted.Decoder();
        ASSERT_EQ(state.FramePos(), bare.FramePos());
        ASSERT_EQ(state.FrameLength(), bare.FrameLength());
        ASSERT_EQ(state.LengthSeen(), bare.LengthSeen());
        ASSERT_EQ(state.InFrame(), bare.InFrame());
        ASSERT_EQ(state.FrameBuffer(), bare.FrameBuffer());
    }
    EXPECT_GT(readings, 0);
    EXPECT_GT(counted.ChecksumDrops(), 0u);
    EXPECT_GT(counted.SkippedBytes(), 0u);
}

TEST(CountingDecoder, CountsCleanFramesAsNeitherDroppedNorSkipped)
{
    int readings = 0;
    const auto d = Fed(Join({Good, Good, Good}), &readings);
    EXPECT_EQ(readings, 3);
    EXPECT_EQ(d.Bytes(), 24u);
    EXPECT_EQ(d.ChecksumDrops(), 0u);
    EXPECT_EQ(d.SkippedBytes(), 0u);
}

TEST(CountingDecoder, WrongChecksumIsOneDropAndTheNextFrameCounts)
{
    const std::vector<std::uint8_t> bad{0x5A, 0x5A, 0x01, 0x03, 0x04, 0xD2, 0x03, 0x90};
    int readings = 0;
    const auto d = Fed(Join({bad, Good}), &readings);
    EXPECT_EQ(readings, 1);
    EXPECT_EQ(d.ChecksumDrops(), 1u);
    EXPECT_EQ(d.SkippedBytes(), 0u);
}

TEST(CountingDecoder, BytesOutsideFramesAreSkippedALone5AWithThem)
{
    int readings = 0;
    // 00, then 5A 00 (a lone sync byte forgotten at the 00), then a good frame.
    const auto d = Fed(Join({{0x00, 0x5A, 0x00}, Good}), &readings);
    EXPECT_EQ(readings, 1);
    EXPECT_EQ(d.SkippedBytes(), 3u);
    EXPECT_EQ(d.ChecksumDrops(), 0u);

    // A 5A at the very end is still undecided.
    EXPECT_EQ(Fed({0x5A}).SkippedBytes(), 0u);
}

TEST(CountingDecoder, StrayByteBeforeAFrameShiftsItIntoADropAndSkippedTail)
{
    // 5A 5A 5A 01 03 04: the shifted frame has N = 1 and its checksum position holds 04, which
    // does not match; D2 03 91 are then outside any frame.
    int readings = 0;
    const auto d = Fed(Join({{0x5A}, Good, Good}), &readings);
    EXPECT_EQ(readings, 1);
    EXPECT_EQ(d.ChecksumDrops(), 1u);
    EXPECT_EQ(d.SkippedBytes(), 3u);
    EXPECT_EQ(d.Bytes(), 17u);
}

TEST(CountingDecoder, RestartForgetsAnUnfinishedFrameAndCountsItSkipped)
{
    CountingDecoder d;
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_FALSE(d.FeedByte(Good[i]));
    d.Restart();
    EXPECT_EQ(d.SkippedBytes(), 5u);
    EXPECT_FALSE(d.Decoder().InFrame());
    int readings = 0;
    for (auto b : Good)
        readings += d.FeedByte(b) ? 1 : 0;
    EXPECT_EQ(readings, 1) << "the next frame is whole again";
    EXPECT_EQ(d.Bytes(), 13u);
}

TEST(RunningMoments, MatchesTheTwoPassFiguresAndStaysAccurateFarFromZero)
{
    RunningMoments m;
    EXPECT_EQ(m.StandardDeviation(), 0.0);
    for (double x : {2.0, 4.0, 4.0, 4.0, 5.0, 5.0, 7.0, 9.0})
        m.Add(x);
    EXPECT_DOUBLE_EQ(m.Mean(), 5.0);
    EXPECT_NEAR(m.StandardDeviation(), std::sqrt(32.0 / 7.0), 1e-12);

    // A naive sum of squares loses these small variations entirely.
    RunningMoments far;
    for (int i = 0; i < 1000000; ++i)
        far.Add(1e9 + (i % 2 == 0 ? 1.0 : -1.0));
    EXPECT_NEAR(far.Mean(), 1e9, 1e-6);
    EXPECT_NEAR(far.StandardDeviation(), 1.0, 1e-6);
}

TEST(LinkStatistics, ReportNamesEveryFigure)
{
    LinkStatistics stats;
    CountingDecoder counts = Fed(Join({{0x00}, Good}));
    EXPECT_EQ(stats.Report(counts, 0, {}),
              "readings=0 bytes=9 checksum_drops=0 skipped_bytes=1 modes=-");
    stats.AddReading({1000, 3});
    stats.AddReading({3000, 3});
    stats.AddReading({2000, 0});
    EXPECT_EQ(stats.Report(counts, 2.0, {}),
              "readings=3 bytes=9 checksum_drops=0 skipped_bytes=1 readings_per_s=1.50 "
              "distance_min=1000 distance_max=3000 distance_mean=2000.000 "
              "distance_sd=1000.000 modes=0:1,3:2");
}

TEST(LinkStatistics, QueryLatencyAndUnansweredQueries)
{
    using Clock = LinkStatistics::Clock;
    LinkStatistics stats;
    stats.TrackQueries();
    const Clock::time_point t0{};
    CountingDecoder counts;
    EXPECT_NE(stats.Report(counts, 0, t0)
                  .find("latency_p50_ms=- latency_p99_ms=- latency_max_ms=- unanswered=0"),
              std::string::npos);
    // 100 queries answered after 1..100 ms, one left without answer by the next query.
    Clock::time_point t = t0;
    for (int i = 1; i <= 100; ++i) {
        stats.QuerySent(t);
        stats.ReplyReceived(t + std::chrono::milliseconds(i));
        t += 1s;
    }
    stats.QuerySent(t);
    stats.QuerySent(t + 50ms);
    stats.ReplyReceived(t + 60ms);
    // A reading nobody asked for is no reply.
    stats.ReplyReceived(t + 70ms);
    const std::string line = stats.Report(counts, 0, t + 2s);
    EXPECT_NE(line.find("latency_p50_ms=50.000 latency_p99_ms=99.000 latency_max_ms=100.000 "
                        "unanswered=1"),
              std::string::npos)
        << line;

    // The last query counts as unanswered once a second has passed without a reply.
    stats.QuerySent(t + 3s);
    EXPECT_NE(stats.Report(counts, 0, t + 3s + 500ms).find("unanswered=1"), std::string::npos);
    EXPECT_NE(stats.Report(counts, 0, t + 4s).find("unanswered=2"), std::string::npos);

    // Past the sample's size (a week of queries) the percentiles come from a uniform sample and
    // stay close; the maximum stays exact. Replies of 1 to 1000 ms, a rare one of 5 s.
    LinkStatistics week;
    week.TrackQueries();
    for (std::uint64_t i = 0; i < 5 * LinkStatistics::LatencySampleSize; ++i) {
        week.QuerySent(t);
        const auto ms = i == 123456 ? 5000 : 1 + static_cast<int>((i * 7919) % 1000);
        week.ReplyReceived(t + std::chrono::milliseconds(ms));
    }
    const std::string report = week.Report(counts, 0, t);
    const auto field = [&](const std::string& name) {
        const auto at = report.find(name + "=") + name.size() + 1;
        return std::stod(report.substr(at, report.find(' ', at) - at));
    };
    EXPECT_NEAR(field("latency_p50_ms"), 500.0, 10.0) << report;
    EXPECT_NEAR(field("latency_p99_ms"), 990.0, 3.0) << report;
    EXPECT_EQ(field("latency_max_ms"), 5000.0) << report;
}

} // namespace
} // namespace rv
