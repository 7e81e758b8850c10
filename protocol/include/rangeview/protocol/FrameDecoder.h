#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "rangeview/protocol/MeasurementFrame.h"

namespace rv {

// Assembles MeasurementFrames from a byte stream, one byte at a time.
//
// Constant work per byte (the checksum is summed once, at the frame's last byte) and no
// allocation. There is no reset: a frame may span any number of calls. The buffer is never
// cleared, so a short frame (N < 3) reads distance and mode from whatever an earlier frame left
// at positions 4 to 6: a frame too short to carry a reading repeats the previous one's values.
class FrameDecoder {
public:
    static constexpr std::size_t FrameBufferSize = MeasurementFrame::MaxSize; // 260

    // Returns a reading when b is the checksum of a frame whose checksum is correct.
    std::optional<MeasurementReading> FeedByte(std::uint8_t b) noexcept;

    // Read-only view of the state.
    std::int32_t FramePos() const noexcept { return FramePos_; }
    std::int32_t FrameLength() const noexcept { return FrameLength_; }
    bool LengthSeen() const noexcept { return LengthSeen_; }
    bool InFrame() const noexcept { return InFrame_; }
    const std::array<std::uint8_t, FrameBufferSize>& FrameBuffer() const noexcept
    {
        return FrameBuffer_;
    }

private:
    // Waiting: InFrame_ false, FramePos_ 0 or 1. Assembling: InFrame_ true,
    // FramePos_ 2 to FrameLength_ + 4 <= 259.
    std::int32_t FramePos_ = 0;
    std::int32_t FrameLength_ = 0;
    bool LengthSeen_ = false;
    bool InFrame_ = false;
    std::array<std::uint8_t, FrameBufferSize> FrameBuffer_{};
};

// Inline: the receive path calls this for every byte.
inline std::optional<MeasurementReading> FrameDecoder::FeedByte(std::uint8_t b) noexcept
{
    constexpr std::uint8_t sync = MeasurementFrame::SyncByte;
    if (b == sync && FramePos_ == 0) {
        FrameBuffer_[0] = b;
        FramePos_ = 1;
        return std::nullopt;
    }
    if (b == sync && FramePos_ == 1) {
        FrameBuffer_[1] = b;
        FramePos_ = 2;
        InFrame_ = true;
        return std::nullopt;
    }
    if (!InFrame_ || FramePos_ <= 1) {
        FramePos_ = 0;
        return std::nullopt;
    }

    FrameBuffer_[static_cast<std::size_t>(FramePos_)] = b;
    std::optional<MeasurementReading> reading;
    if (FramePos_ == 3) {
        FrameLength_ = b;
        LengthSeen_ = true;
    } else if (FramePos_ == FrameLength_ + 4 && LengthSeen_) {
        std::uint8_t sum = 0;
        const auto end = static_cast<std::size_t>(FrameLength_) + 4;
        for (std::size_t i = 0; i < end; ++i)
            sum = static_cast<std::uint8_t>(sum + FrameBuffer_[i]);
        if (sum == b) {
            reading = MeasurementReading{
                static_cast<std::uint16_t>(FrameBuffer_[4] * 256 + FrameBuffer_[5]),
                FrameBuffer_[6]};
            FrameLength_ = 0;
        }
        FramePos_ = 0;
        LengthSeen_ = false;
        InFrame_ = false;
    }
    if (InFrame_)
        ++FramePos_;
    return reading;
}

} // namespace rv
