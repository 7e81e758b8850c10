#include "rangeview/protocol/CommandTable.h"
#include "rangeview/protocol/CommandText.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace rv {
namespace {

TEST(CommandTable, EachRowIsADistinctCommandWithANoteSayingWhatItDoes)
{
    ASSERT_EQ(CommandTable.size(), 9u);
    std::set<std::uint8_t> codes;
    for (const auto& row : CommandTable) {
        codes.insert(row.Bytes[1]);
        EXPECT_EQ(row.Note.substr(0, std::string_view("注释：").size()), "注释：") << row.ItemText;
    }
    EXPECT_EQ(codes.size(), CommandTable.size());
    // What a row's note says follows from its code: the mode rows name their modes in mode order
    // (0 long distance, 1 high speed, 2 high precision, 3 general), the baud rows their rates.
    const char* const modeWords[] = {"长距离", "高速", "高精度", "一般"};
    for (std::uint8_t mode = 0; mode < 4; ++mode) {
        const auto& row = CommandTable[3 + mode];
        EXPECT_EQ(row.Bytes[1], CommandCode::ModeLongDistance + mode);
        EXPECT_NE(row.Note.find(std::string(modeWords[mode]) + "测量模式"), std::string_view::npos)
            << row.Note;
    }
    EXPECT_EQ(CommandTable[7].Bytes[1], CommandCode::Baud9600);
    EXPECT_TRUE(CommandTable[7].Note.ends_with("9600"));
    EXPECT_EQ(CommandTable[8].Bytes[1], CommandCode::Baud115200);
    EXPECT_TRUE(CommandTable[8].Note.ends_with("115200"));
    // The two notes that end in a space keep it: the status bar shows them byte for byte.
    EXPECT_EQ(CommandTable[3].Note.back(), ' ');
    EXPECT_EQ(CommandTable[4].Note.back(), ' ');
    EXPECT_NE(CommandTable[5].Note.back(), ' ');
}

TEST(CommandTable, EveryItemTextConvertsToItsBytesWithValidCheck)
{
    for (const auto& row : CommandTable) {
        const std::vector<std::uint8_t> bytes = CommandTextToBytes(row.ItemText);
        EXPECT_EQ(bytes, std::vector<std::uint8_t>(row.Bytes.begin(), row.Bytes.end()))
            << row.ItemText;
        EXPECT_EQ(row.Bytes[0], CommandLeadByte);
        EXPECT_EQ(row.Bytes[2], CommandCheckByte(row.Bytes[1])) << row.ItemText;
    }
    EXPECT_EQ(CommandCheckByte(0xAE), 0x53);
    // The mode commands run in mode order 0 to 3.
    for (std::uint8_t mode = 0; mode < 4; ++mode)
        EXPECT_EQ(CommandTable[3 + mode].Bytes[1], CommandCode::ModeLongDistance + mode);
}

} // namespace
} // namespace rv
