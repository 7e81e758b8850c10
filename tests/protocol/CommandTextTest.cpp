#include "rangeview/protocol/CommandText.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace rv {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(HexDigitValue, ClassifiesEveryByte)
{
    for (int i = 0; i < 256; ++i) {
        const char c = static_cast<char>(i);
        std::int32_t expected = -1;
        if (c == ' ')
            expected = -2;
        else if (c >= '0' && c <= '9')
            expected = c - '0';
        else if (c >= 'a' && c <= 'f')
            expected = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            expected = c - 'A' + 10;
        EXPECT_EQ(HexDigitValue(c), expected) << "byte " << i;
    }
}

TEST(HexPairValue, OneOrTwoDigitsOnly)
{
    EXPECT_EQ(HexPairValue("0"), 0);
    EXPECT_EQ(HexPairValue("f"), 15);
    EXPECT_EQ(HexPairValue("A5"), 0xA5);
    EXPECT_EQ(HexPairValue("ff"), 0xFF);
    EXPECT_EQ(HexPairValue("0E"), 0x0E);
    EXPECT_EQ(HexPairValue(""), -1);
    EXPECT_EQ(HexPairValue("A55"), -1);
    EXPECT_EQ(HexPairValue("g"), -1);
    EXPECT_EQ(HexPairValue("Ag"), -1);
    EXPECT_EQ(HexPairValue("xA"), -1);
    EXPECT_EQ(HexPairValue("\xE4\xB8"), -1); // half of a Chinese character
}

TEST(HexPairValue, SpaceAloneIsMinusTwoButNeverPartOfAPair)
{
    EXPECT_EQ(HexPairValue(" "), -2);
    // A space in a pair must not yield a number such as 10 * 16 - 2.
    EXPECT_EQ(HexPairValue("A "), -1);
    EXPECT_EQ(HexPairValue(" A"), -1);
    EXPECT_EQ(HexPairValue("  "), -1);
}

struct TextCase {
    const char* text;
    Bytes bytes;
};

TEST(CommandTextToBytes, TypedTexts)
{
    const TextCase cases[] = {
        {"A5 45 EA", {0xA5, 0x45, 0xEA}},
        {"a545ea", {0xA5, 0x45, 0xEA}},
        {"A5,45;EA", {0xA5, 0x45, 0xEA}},
        {"A5 4 EA", {0xA5, 0x04, 0xEA}},
        {"A5 4 5EA", {0xA5, 0x04, 0x5E, 0x0A}},
        {"0xA5", {0x00, 0xA5}},
        {"A5 45 EA ", {0xA5, 0x45, 0xEA}},
        {"A5 45 EA,,", {0xA5, 0x45, 0xEA}},
        {"FFF", {0xFF, 0x0F}},
        {"ABCDE", {0xAB, 0xCD, 0x0E}},
        {"   ", {}},
        {"xyz", {}},
        {"自动输出数据", {}},
        {"", {}},
        {"7", {0x07}},
        {" 7", {0x07}},
        // Non-ASCII bytes are skipped like any separator, also right after a lone digit.
        {"中A5文45", {0xA5, 0x45}},
        {"5中6", {0x05, 0x06}},
        {"A5\t45\nEA", {0xA5, 0x45, 0xEA}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CommandTextToBytes(c.text), c.bytes) << "text '" << c.text << "'";
}

TEST(CommandTextToBytes, SpanFormMatchesVectorForm)
{
    const char* texts[] = {"A5 45 EA", "A5 4 5EA", "0xA5", "FFF", "中", "", "1 2 3 4 5 6 7 8 9"};
    for (const char* text : texts) {
        std::array<std::uint8_t, 64> out{};
        const auto result = CommandTextToBytes(text, out);
        const Bytes expected = CommandTextToBytes(text);
        EXPECT_FALSE(result.Overflow) << text;
        EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(result.Count)),
                  expected)
            << text;
    }
}

// The transmit buffer must never be written past, whatever the text.
TEST(CommandTextToBytes, TransmitBufferBound)
{
    constexpr std::uint8_t guard = 0xCC;
    std::vector<std::uint8_t> storage(TransmitBufferSize + 16, guard);
    const std::span<std::uint8_t> buffer(storage.data(), TransmitBufferSize);

    const std::string exactFit(2 * TransmitBufferSize, 'A'); // 10242 digits
    auto result = CommandTextToBytes(exactFit, buffer);
    EXPECT_FALSE(result.Overflow);
    EXPECT_EQ(result.Count, TransmitBufferSize);
    EXPECT_EQ(storage[TransmitBufferSize - 1], 0xAA);
    EXPECT_EQ(storage[TransmitBufferSize], guard);

    // One more digit makes a lone trailing digit: one byte too many.
    std::fill(storage.begin(), storage.end(), guard);
    result = CommandTextToBytes(exactFit + "B", buffer);
    EXPECT_TRUE(result.Overflow);
    EXPECT_EQ(result.Count, TransmitBufferSize);
    for (std::size_t i = TransmitBufferSize; i < storage.size(); ++i)
        ASSERT_EQ(storage[i], guard) << "written past the buffer at " << i;

    // Trailing separators do not produce bytes, so they do not overflow.
    result = CommandTextToBytes(exactFit + " ,中", buffer);
    EXPECT_FALSE(result.Overflow);
    EXPECT_EQ(result.Count, TransmitBufferSize);
}

TEST(CommandTextToBytes, ZeroCapacity)
{
    std::span<std::uint8_t> none;
    EXPECT_FALSE(CommandTextToBytes("xyz", none).Overflow);
    const auto result = CommandTextToBytes("1", none);
    EXPECT_TRUE(result.Overflow);
    EXPECT_EQ(result.Count, 0u);
}

} // namespace
} // namespace rv
