#include "rangeview/protocol/MeasurementFrame.h"

namespace rv {

MeasurementFrame MeasurementFrame::ForReading(std::uint16_t distanceMm, std::uint8_t mode,
                                              std::uint8_t type) noexcept
{
    MeasurementFrame frame;
    frame.Type = type;
    frame.Length = 3;
    frame.Payload[0] = static_cast<std::uint8_t>(distanceMm >> 8);
    frame.Payload[1] = static_cast<std::uint8_t>(distanceMm & 0xFF);
    frame.Payload[2] = mode;
    return frame;
}

std::uint8_t MeasurementFrame::Checksum() const noexcept
{
    unsigned sum = 2u * SyncByte + Type + Length;
    for (std::size_t i = 0; i < Length; ++i)
        sum += Payload[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

std::size_t MeasurementFrame::Encode(std::span<std::uint8_t> out) const noexcept
{
    const std::size_t size = Size();
    if (out.size() < size)
        return 0;
    out[0] = SyncByte;
    out[1] = SyncByte;
    out[2] = Type;
    out[3] = Length;
    for (std::size_t i = 0; i < Length; ++i)
        out[HeaderSize + i] = Payload[i];
    out[size - 1] = Checksum();
    return size;
}

} // namespace rv
