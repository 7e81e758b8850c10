// The program title rule and the full-stop rule of the error report.
#include "rangeview/ui/ProgramTitle.h"

#include <gtest/gtest.h>

namespace rv {
namespace {

TEST(ProgramTitle, FileNameCutAtFirstFullStopWithTheRestLowerCase)
{
    EXPECT_EQ(ProgramTitleFrom(QStringLiteral("/usr/bin/rangeview")), QStringLiteral("rangeview"));
    EXPECT_EQ(ProgramTitleFrom(QStringLiteral("/opt/RangeView.bin")), QStringLiteral("Rangeview"));
    EXPECT_EQ(ProgramTitleFrom(QStringLiteral("C:/Tools/PROJECT1.EXE")),
              QStringLiteral("Project1"));
    EXPECT_EQ(ProgramTitleFrom(QStringLiteral("/x/my.tool.v2")), QStringLiteral("my"));
    // The first character keeps its case; digits and signs are left alone.
    EXPECT_EQ(ProgramTitleFrom(QStringLiteral("aBC")), QStringLiteral("abc"));
    EXPECT_EQ(ProgramTitleFrom(QStringLiteral("/d/X")), QStringLiteral("X"));
    EXPECT_EQ(ProgramTitleFrom(QStringLiteral("/d/.hidden")), QString());
}

TEST(ErrorReportText, FullStopOnlyAfterCharactersSortingAfterIt)
{
    EXPECT_EQ(ErrorReportText(QStringLiteral("'abc' is not a valid integer value")),
              QStringLiteral("'abc' is not a valid integer value."));
    EXPECT_EQ(ErrorReportText(QStringLiteral("List index out of bounds (5)")),
              QStringLiteral("List index out of bounds (5)"));
    EXPECT_EQ(ErrorReportText(QStringLiteral("Done.")), QStringLiteral("Done."));
    EXPECT_EQ(ErrorReportText(QStringLiteral("Really!")), QStringLiteral("Really!"));
    EXPECT_EQ(ErrorReportText(QStringLiteral("a-")), QStringLiteral("a-"));
    EXPECT_EQ(ErrorReportText(QStringLiteral("a/")), QStringLiteral("a/."));
    EXPECT_EQ(ErrorReportText(QStringLiteral("7")), QStringLiteral("7."));
    EXPECT_EQ(ErrorReportText(QStringLiteral("Not enough timers available")),
              QStringLiteral("Not enough timers available."));
    EXPECT_EQ(ErrorReportText(QStringLiteral("串口打开失败")), QStringLiteral("串口打开失败."));
    EXPECT_EQ(ErrorReportText(QString()), QString());
}

} // namespace
} // namespace rv
