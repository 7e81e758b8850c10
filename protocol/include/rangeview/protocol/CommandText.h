#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace rv {

// Bytes the transmit path can hold for one send (indices 0 to 5120).
inline constexpr std::size_t TransmitBufferSize = 5121;

// Value of one hexadecimal digit character: 0 to 15; -2 for a space; -1 for anything else
// (including every byte of a non-ASCII UTF-8 character).
std::int32_t HexDigitValue(char c) noexcept;

// Value of a one- or two-character hexadecimal text (0 to 255), or -1.
// A single character gives HexDigitValue of it, so a lone space gives -2.
std::int32_t HexPairValue(std::string_view text) noexcept;

// What CommandTextToBytes wrote; the send path and the command-line tool read it.
struct CommandBytesResult {
    std::size_t Count = 0; // bytes written to the output, never more than its size
    bool Overflow = false; // the text converts to more bytes than the output holds
};

// Converts command text (UTF-8) to the bytes to send: adjacent hex digits pair greedily into one
// byte, a lone digit d gives 0d, everything else is skipped. Writes at most out.size() bytes.
// On Overflow the output holds only a prefix of the conversion and must not be sent.
CommandBytesResult CommandTextToBytes(std::string_view text, std::span<std::uint8_t> out) noexcept;

// Unbounded form for tools and tests.
std::vector<std::uint8_t> CommandTextToBytes(std::string_view text);

} // namespace rv
