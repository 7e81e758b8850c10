#include "rangeview/protocol/CommandTable.h"
#include "rangeview/protocol/CommandText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rv {
namespace {

TEST(CommandTable, RowsInListOrder)
{
    const char* const items[] = {"A5 45 EA", "A5 15 BA", "A5 25 CA", "A5 50 F5", "A5 51 F6",
                                 "A5 52 F7", "A5 53 F8", "A5 AE 53", "A5 AF 54"};
    // Rows 3 and 4 end in one space; the status bar shows the notes byte for byte.
    const char* const notes[] = {
        "注释：自动输出数据",       "注释：查询输出数据",     "注释：保存当前测量模式和输出设置",
        "注释：设置成长距离测量模式 ", "注释：设置成高速测量模式 ", "注释：设置成高精度测量模式",
        "注释：设置成一般测量模式", "注释：设置波特率为9600", "注释：设置波特率为115200"};
    ASSERT_EQ(CommandTable.size(), 9u);
    for (std::size_t row = 0; row < CommandTable.size(); ++row) {
        EXPECT_EQ(CommandTable[row].ItemText, items[row]) << "row " << row;
        EXPECT_EQ(CommandTable[row].Note, notes[row]) << "row " << row;
    }
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
