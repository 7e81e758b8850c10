#include "rangeview/tools/ArgCursor.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace rv {
namespace {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using Cursor = ArgCursor<UsageError>;

std::string ErrorOf(auto&& step)
{
    try {
        step();
    } catch (const UsageError& error) {
        return error.what();
    }
    return "";
}

TEST(ArgCursor, SeparateAndInlineValues)
{
    const std::vector<std::string_view> args = {
        "--a", "1", "--b=x=y", "--c=", "-d=2", "--e", "--f"};
    Cursor arg(args);
    ASSERT_TRUE(arg.Next());
    EXPECT_EQ(arg.Name(), "--a");
    EXPECT_EQ(arg.Value(), "1");
    ASSERT_TRUE(arg.Next());
    // Only the first '=' separates; the value keeps the rest.
    EXPECT_EQ(arg.Name(), "--b");
    EXPECT_EQ(arg.Arg(), "--b=x=y");
    EXPECT_EQ(arg.Value(), "x=y");
    EXPECT_EQ(arg.Value(), "x=y") << "an inline value does not consume the next argument";
    ASSERT_TRUE(arg.Next());
    EXPECT_EQ(arg.Name(), "--c");
    EXPECT_EQ(arg.Value(), "");
    EXPECT_EQ(ErrorOf([&] { arg.NoValue(); }), "--c takes no value") << "empty is still given";
    ASSERT_TRUE(arg.Next());
    EXPECT_EQ(arg.Name(), "-d=2") << "short names take no inline value";
    EXPECT_EQ(ErrorOf([&] { arg.NoValue(); }), "");
    ASSERT_TRUE(arg.Next());
    // A following option is taken as the value, and then not visited again.
    EXPECT_EQ(arg.Value(), "--f");
    EXPECT_FALSE(arg.Next());
    EXPECT_FALSE(arg.Next());
}

TEST(ArgCursor, MissingValueNamesTheOption)
{
    const std::vector<std::string_view> args = {"--rate"};
    Cursor arg(args);
    ASSERT_TRUE(arg.Next());
    EXPECT_EQ(ErrorOf([&] { arg.Value(); }), "--rate needs a value");
    EXPECT_FALSE(arg.Next());

    EXPECT_FALSE(Cursor({}).Next());
}

} // namespace
} // namespace rv
