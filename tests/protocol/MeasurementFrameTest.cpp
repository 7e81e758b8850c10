#include "rangeview/protocol/FrameDecoder.h"
#include "rangeview/protocol/MeasurementFrame.h"

#include <gtest/gtest.h>

#include <vector>

namespace rv {
namespace {

TEST(MeasurementFrame, EncodesTheModuleLayout)
{
    std::array<std::uint8_t, MeasurementFrame::MaxSize> out{};
    const auto frame = MeasurementFrame::ForReading(1234, 3);
    ASSERT_EQ(frame.Encode(out), 8u);
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 8),
              (std::vector<std::uint8_t>{0x5A, 0x5A, 0x01, 0x03, 0x04, 0xD2, 0x03, 0x91}));

    // Too small an output is left untouched.
    std::array<std::uint8_t, 7> small{};
    EXPECT_EQ(frame.Encode(small), 0u);
    for (std::uint8_t b : small)
        EXPECT_EQ(b, 0);
}

TEST(MeasurementFrame, EncodedFramesDecodeBack)
{
    FrameDecoder decoder;
    std::array<std::uint8_t, MeasurementFrame::MaxSize> out{};
    const std::uint16_t distances[] = {0, 1, 255, 256, 0x5A5A, 0x5A00, 0x005A, 65535};
    for (std::uint16_t distance : distances) {
        for (std::uint8_t mode :
             {std::uint8_t{0}, std::uint8_t{3}, std::uint8_t{0x5A}, std::uint8_t{255}}) {
            const auto frame = MeasurementFrame::ForReading(distance, mode, 0x5A);
            const std::size_t size = frame.Encode(out);
            std::optional<MeasurementReading> reading;
            for (std::size_t i = 0; i < size; ++i) {
                ASSERT_FALSE(reading) << "reading before the last byte";
                reading = decoder.FeedByte(out[i]);
            }
            ASSERT_TRUE(reading);
            EXPECT_EQ(*reading, (MeasurementReading{distance, mode}));
        }
    }
}

} // namespace
} // namespace rv
