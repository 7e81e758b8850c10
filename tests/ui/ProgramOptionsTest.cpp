// The window program's command line: accepted forms, and everything else refused with a reason.
#include "rangeview/ui/ProgramOptions.h"

#include <gtest/gtest.h>

namespace rv::test {
namespace {

ParsedOptions Parse(QStringList args)
{
    args.prepend(QStringLiteral("rangeview"));
    return ParseProgramOptions(args);
}

TEST(ProgramOptionsTest, AcceptedOptionsAreTakenAsGiven)
{
    const auto none = Parse({});
    EXPECT_TRUE(none.Error.isEmpty());
    EXPECT_EQ(none.Options.QuitAfterMs, -1);
    EXPECT_FALSE(none.Options.Demo);

    const auto all = Parse(
        {"--port", "/tmp/sensor", "--demo", "--screenshot", "/tmp/w.png", "--quit-after", "0"});
    ASSERT_TRUE(all.Error.isEmpty()) << all.Error.toStdString();
    EXPECT_EQ(all.Options.Port, QStringLiteral("/tmp/sensor"));
    EXPECT_TRUE(all.Options.Demo);
    EXPECT_EQ(all.Options.Screenshot, QStringLiteral("/tmp/w.png"));
    EXPECT_EQ(all.Options.QuitAfterMs, 0);

    EXPECT_EQ(Parse({"--quit-after", "2147483647"}).Options.QuitAfterMs, 2147483647);
    EXPECT_TRUE(Parse({"--help"}).Options.Help);
    // A port name may be anything, even an empty text or one that starts with a dash.
    EXPECT_EQ(Parse({"--port", "-x"}).Options.Port, QStringLiteral("-x"));
    EXPECT_TRUE(Parse({"--port", ""}).Error.isEmpty());

    // Qt's own options are read before Qt takes them out: passed over, values and all.
    const auto qt = Parse({"-platform", "offscreen:configfile=s.json", "--port", "ttyS0",
                           "-style=fusion", "--style", "Fusion", "-reverse", "-display", ":1",
                           "--qwindowgeometry", "100x100", "-qmljsdebugger=port:1"});
    ASSERT_TRUE(qt.Error.isEmpty()) << qt.Error.toStdString();
    EXPECT_EQ(qt.Options.Port, QStringLiteral("ttyS0"));
}

TEST(ProgramOptionsTest, BadValuesAndUnknownOptionsAreRefused)
{
    const struct {
        QStringList Args;
        const char* Error;
    } rows[] = {
        {{"--quit-after", "abc"}, "--quit-after takes a number of milliseconds, not 'abc'"},
        {{"--quit-after", "-5"}, "--quit-after takes a number of milliseconds, not '-5'"},
        {{"--quit-after", "1.5"}, "--quit-after takes a number of milliseconds, not '1.5'"},
        {{"--quit-after", ""}, "--quit-after takes a number of milliseconds, not ''"},
        {{"--quit-after", "99999999999"},
         "--quit-after takes a number of milliseconds, not '99999999999'"},
        {{"--quit-after"}, "--quit-after needs a value"},
        {{"--port"}, "--port needs a value"},
        {{"--screenshot", ""}, "--screenshot needs a file name"},
        {{"--bogus"}, "unknown option '--bogus' (--help lists them)"},
        {{"--demo", "-d"}, "unknown option '-d' (--help lists them)"},
        {{"ttyUSB0"}, "unexpected argument 'ttyUSB0' (--help lists the options)"},
        {{"-platform"}, "-platform needs a value"},
        {{"-platforms", "xcb"}, "unknown option '-platforms' (--help lists them)"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Parse(row.Args).Error.toStdString(), row.Error)
            << row.Args.join(' ').toStdString();
}

} // namespace
} // namespace rv::test
