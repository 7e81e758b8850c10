#include "rangeview/protocol/FrameDecoder.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <vector>

namespace rv {
namespace {

using Readings = std::vector<MeasurementReading>;

Readings Feed(FrameDecoder& decoder, std::initializer_list<std::uint8_t> bytes)
{
    Readings readings;
    for (std::uint8_t b : bytes)
        if (auto reading = decoder.FeedByte(b))
            readings.push_back(*reading);
    return readings;
}

void ExpectWaiting(const FrameDecoder& decoder)
{
    EXPECT_EQ(decoder.FramePos(), 0);
    EXPECT_FALSE(decoder.InFrame());
    EXPECT_FALSE(decoder.LengthSeen());
}

TEST(FrameDecoder, StartsWaitingWithEmptyBuffer)
{
    const FrameDecoder decoder;
    ExpectWaiting(decoder);
    EXPECT_EQ(decoder.FrameLength(), 0);
    EXPECT_EQ(decoder.FrameBuffer().size(), 260u);
    for (std::uint8_t b : decoder.FrameBuffer())
        EXPECT_EQ(b, 0);
}

TEST(FrameDecoder, ValidFramesAndSplitDelivery)
{
    FrameDecoder decoder;
    // The reading arrives exactly at the checksum byte, not before.
    EXPECT_TRUE(Feed(decoder, {0x5A, 0x5A, 0x01, 0x03, 0x04, 0xD2, 0x03}).empty());
    EXPECT_TRUE(decoder.InFrame());
    EXPECT_EQ(decoder.FramePos(), 7);
    EXPECT_EQ(decoder.FrameLength(), 3);
    EXPECT_TRUE(decoder.LengthSeen());
    auto reading = decoder.FeedByte(0x91);
    ASSERT_TRUE(reading);
    EXPECT_EQ(*reading, (MeasurementReading{1234, 3}));
    ExpectWaiting(decoder);
    EXPECT_EQ(decoder.FrameLength(), 0);

    // Same frame in two deliveries.
    EXPECT_TRUE(Feed(decoder, {0x5A, 0x5A, 0x01}).empty());
    EXPECT_EQ(Feed(decoder, {0x03, 0x04, 0xD2, 0x03, 0x91}), (Readings{{1234, 3}}));

    // N = 4 with 0x5A inside the payload: no resynchronisation inside a frame.
    EXPECT_EQ(Feed(decoder, {0x5A, 0x5A, 0x02, 0x04, 0x00, 0x64, 0x01, 0x5A, 0x79}),
              (Readings{{100, 1}}));
    ExpectWaiting(decoder);
}

TEST(FrameDecoder, DroppedFramesAndResync)
{
    FrameDecoder decoder;
    // Wrong checksum: dropped silently, the length is kept until the next valid frame.
    EXPECT_TRUE(Feed(decoder, {0x5A, 0x5A, 0x01, 0x03, 0x04, 0xD2, 0x03, 0x90}).empty());
    ExpectWaiting(decoder);
    EXPECT_EQ(decoder.FrameLength(), 3);
    EXPECT_EQ(Feed(decoder, {0x5A, 0x5A, 0x01, 0x03, 0x04, 0xD2, 0x03, 0x91}),
              (Readings{{1234, 3}}));

    // A stray 5A costs the next frame; the one after is decoded.
    EXPECT_TRUE(Feed(decoder, {0x5A, 0x5A, 0x5A, 0x01, 0x03, 0x04, 0xD2, 0x03, 0x91}).empty());
    EXPECT_EQ(Feed(decoder, {0x5A, 0x5A, 0x02, 0x04, 0x00, 0x64, 0x01, 0x5A, 0x79}),
              (Readings{{100, 1}}));

    // A lone 5A is forgotten at the next non-sync byte.
    EXPECT_EQ(Feed(decoder, {0x5A, 0x00, 0x5A, 0x5A, 0x01, 0x03, 0x04, 0xD2, 0x03, 0x91}),
              (Readings{{1234, 3}}));

    // Bytes outside frames are dropped.
    EXPECT_TRUE(Feed(decoder, {0x00, 0x91, 0xFF, 0xA5}).empty());
    ExpectWaiting(decoder);
}

TEST(FrameDecoder, ThirdSyncByteIsTheType)
{
    FrameDecoder decoder;
    Feed(decoder, {0x5A, 0x5A, 0x5A});
    EXPECT_TRUE(decoder.InFrame());
    EXPECT_EQ(decoder.FramePos(), 3);
    EXPECT_EQ(decoder.FrameBuffer()[2], 0x5A);
    EXPECT_FALSE(decoder.LengthSeen());
}

TEST(FrameDecoder, ShortFramesReadLeftoverBuffer)
{
    // N = 0 on a fresh decoder: position 4 is the checksum, 5 and 6 were never written.
    FrameDecoder fresh;
    EXPECT_EQ(Feed(fresh, {0x5A, 0x5A, 0x01, 0x00, 0xB5}), (Readings{{0xB500, 0}}));

    // After a full frame, positions 5 and 6 still hold its distance low byte and mode.
    FrameDecoder decoder;
    Feed(decoder, {0x5A, 0x5A, 0x01, 0x03, 0x04, 0xD2, 0x03, 0x91});
    EXPECT_EQ(Feed(decoder, {0x5A, 0x5A, 0x01, 0x00, 0xB5}), (Readings{{0xB5D2, 3}}));

    // N = 1: payload at 4, checksum at 5, leftover mode at 6.
    EXPECT_EQ(Feed(decoder, {0x5A, 0x5A, 0x01, 0x01, 0x07, 0xBD}), (Readings{{0x07BD, 3}}));

    // N = 2: the checksum byte is taken as the mode.
    EXPECT_EQ(Feed(decoder, {0x5A, 0x5A, 0x01, 0x02, 0x01, 0x02, 0xBA}),
              (Readings{{0x0102, 0xBA}}));
}

TEST(FrameDecoder, LongestFrame)
{
    MeasurementFrame frame = MeasurementFrame::ForReading(40000, 2);
    frame.Length = 255;
    for (std::size_t i = 3; i < 255; ++i)
        frame.Payload[i] = static_cast<std::uint8_t>(i * 7);
    std::array<std::uint8_t, MeasurementFrame::MaxSize> bytes{};
    ASSERT_EQ(frame.Encode(bytes), 260u);

    FrameDecoder decoder;
    Readings readings;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (auto reading = decoder.FeedByte(bytes[i])) {
            readings.push_back(*reading);
        } else if (i + 1 < bytes.size()) {
            ASSERT_EQ(decoder.FramePos(), static_cast<std::int32_t>(i) + 1);
        }
    }
    EXPECT_EQ(readings, (Readings{{40000, 2}}));
    EXPECT_EQ(decoder.FrameBuffer()[259], bytes[259]);
}

// Whatever arrives, the state stays within its two phases and the buffer bound.
TEST(FrameDecoder, StateStaysBoundedOnRandomStreams)
{
    std::mt19937 rng(12345);
    // Mostly sync bytes and large lengths, to reach long frames often.
    const std::uint8_t favourites[] = {0x5A, 0x5A, 0x5A, 0xFF, 0xFE, 0x00, 0x03};
    FrameDecoder decoder;
    for (int i = 0; i < 200000; ++i) {
        const std::uint32_t r = rng();
        const std::uint8_t b =
            (r & 1) ? favourites[(r >> 1) % 7] : static_cast<std::uint8_t>(r >> 8);
        const auto reading = decoder.FeedByte(b);
        ASSERT_GE(decoder.FramePos(), 0);
        ASSERT_LE(decoder.FramePos(), 259);
        ASSERT_LE(decoder.FrameLength() + 4, 259);
        if (decoder.InFrame())
            ASSERT_GE(decoder.FramePos(), 2);
        else
            ASSERT_LE(decoder.FramePos(), 1);
        if (reading) {
            const auto& buffer = decoder.FrameBuffer();
            ASSERT_EQ(reading->Distance, buffer[4] * 256 + buffer[5]);
            ASSERT_EQ(reading->Mode, buffer[6]);
        }
    }
}

} // namespace
} // namespace rv
