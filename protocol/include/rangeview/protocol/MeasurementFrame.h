#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace rv {

// The names of the module's measuring modes 0 to 3 (UTF-8), as the window and the command-line
// tool show them; an empty text for any other mode.
inline constexpr std::array<std::string_view, 4> ModeNames{"长距离模式", "高速模式", "高精度模式",
                                                           "一般模式"};
constexpr std::string_view ModeName(std::uint8_t mode) noexcept
{
    return mode < ModeNames.size() ? ModeNames[mode] : std::string_view();
}

// One frame as the module sends it:
//   5A 5A | type | N | payload (N bytes) | checksum
// payload[0..1] is the distance in mm (big-endian), payload[2] the measurement mode; further
// payload bytes are summed and otherwise ignored. The checksum is the low byte of the sum of the
// N + 4 bytes before it.
struct MeasurementFrame {
    static constexpr std::uint8_t SyncByte = 0x5A;
    static constexpr std::size_t HeaderSize = 4; // both sync bytes, type, length
    static constexpr std::size_t MaxPayload = 255;
    static constexpr std::size_t MaxSize = HeaderSize + MaxPayload + 1; // 260
    static constexpr std::uint8_t DefaultType = 0x01;

    std::uint8_t Type = DefaultType;
    std::uint8_t Length = 0; // N
    std::array<std::uint8_t, MaxPayload> Payload{};

    // The usual frame: N = 3, distance and mode.
    static MeasurementFrame ForReading(std::uint16_t distanceMm, std::uint8_t mode,
                                       std::uint8_t type = DefaultType) noexcept;

    std::size_t Size() const noexcept { return HeaderSize + Length + 1; }
    std::uint8_t Checksum() const noexcept;

    // Writes Size() bytes with the correct checksum. Returns 0 and writes nothing when out is
    // too small.
    std::size_t Encode(std::span<std::uint8_t> out) const noexcept;
};

// The decoder's output for one frame with a correct checksum.
struct MeasurementReading {
    std::uint16_t Distance = 0; // mm
    std::uint8_t Mode = 0;

    friend bool operator==(const MeasurementReading&, const MeasurementReading&) = default;
};

} // namespace rv
