#include "rangeview/common/IntegerText.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

std::optional<std::int32_t> Parse(std::string_view s)
{
    std::int32_t v = 0;
    if (!rv::TryStrToInt(s, v))
        return std::nullopt;
    return v;
}

TEST(IntegerText, AcceptsDecimalAndHexForms)
{
    EXPECT_EQ(Parse("9600"), 9600);
    EXPECT_EQ(Parse("   57600"), 57600);
    EXPECT_EQ(Parse("+50"), 50);
    EXPECT_EQ(Parse("-1"), -1);
    EXPECT_EQ(Parse("0"), 0);
    EXPECT_EQ(Parse("$ff"), 255);
    EXPECT_EQ(Parse("x1A"), 26);
    EXPECT_EQ(Parse("X10"), 16);
    EXPECT_EQ(Parse("0x10"), 16);
    EXPECT_EQ(Parse("0X7fffffff"), 2147483647);
    EXPECT_EQ(Parse("-$10"), -16);
    EXPECT_EQ(Parse("2147483647"), 2147483647);
    EXPECT_EQ(Parse("-2147483648"), INT32_MIN);
    EXPECT_EQ(Parse("-0x80000000"), INT32_MIN);
}

TEST(IntegerText, RejectsEverythingElse)
{
    for (const char* s : {"",
                          " ",
                          "+",
                          "-",
                          "$",
                          "0x",
                          "abc",
                          "12 ",
                          "1 2",
                          "12a",
                          "1.5",
                          "--1",
                          "+-1",
                          "2147483648",
                          "-2147483649",
                          "0x80000000",
                          "99999999999999999999",
                          " $-1",
                          "\t5",
                          "$g"}) {
        EXPECT_EQ(Parse(s), std::nullopt) << "'" << s << "'";
    }
}

TEST(IntegerText, ErrorMessageQuotesTheText)
{
    try {
        rv::StrToInt("abc");
        FAIL() << "no error";
    } catch (const rv::ConvertError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
    try {
        rv::StrToInt("");
        FAIL() << "no error";
    } catch (const rv::ConvertError& e) {
        EXPECT_STREQ(e.what(), "'' is not a valid integer value");
    }
}

} // namespace
