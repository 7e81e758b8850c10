#include "rangeview/protocol/CommandText.h"

namespace rv {

namespace {

bool IsHexDigit(char c) noexcept
{
    return HexDigitValue(c) >= 0;
}

// Runs the conversion, handing each byte to emit; stops early when emit returns false.
// Returns false when stopped early.
template <class Emit>
bool ConvertCommandText(std::string_view text, Emit&& emit)
{
    const std::size_t length = text.size();
    std::size_t i = 0;
    while (i < length) {
        while (i < length && !IsHexDigit(text[i]))
            ++i;
        if (i >= length)
            break;
        char token[2];
        if (i + 1 < length && IsHexDigit(text[i + 1])) {
            token[0] = text[i];
            token[1] = text[i + 1];
        } else {
            token[0] = '0';
            token[1] = text[i];
        }
        const std::int32_t value = HexPairValue(std::string_view(token, 2));
        if (!emit(static_cast<std::uint8_t>(value & 0xFF)))
            return false;
        // After a lone digit this also steps over the non-digit that follows it.
        i += 2;
    }
    return true;
}

} // namespace

std::int32_t HexDigitValue(char c) noexcept
{
    if (c == ' ')
        return -2;
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::int32_t HexPairValue(std::string_view text) noexcept
{
    if (text.size() == 1)
        return HexDigitValue(text[0]);
    if (text.size() == 2) {
        const std::int32_t high = HexDigitValue(text[0]);
        const std::int32_t low = HexDigitValue(text[1]);
        // Any non-digit, the space's -2 included, makes the pair invalid; otherwise "A " would
        // come out as 158.
        if (high < 0 || low < 0)
            return -1;
        return high * 16 + low;
    }
    return -1;
}

CommandBytesResult CommandTextToBytes(std::string_view text, std::span<std::uint8_t> out) noexcept
{
    CommandBytesResult result;
    const bool complete = ConvertCommandText(text, [&](std::uint8_t byte) {
        if (result.Count == out.size())
            return false;
        out[result.Count++] = byte;
        return true;
    });
    result.Overflow = !complete;
    return result;
}

std::vector<std::uint8_t> CommandTextToBytes(std::string_view text)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2 + 1);
    ConvertCommandText(text, [&](std::uint8_t byte) {
        bytes.push_back(byte);
        return true;
    });
    return bytes;
}

} // namespace rv
