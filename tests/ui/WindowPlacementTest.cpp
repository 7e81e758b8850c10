// Where the window opens: at its fixed place where that fits the screen, otherwise moved the
// least distance that makes it fit. Each screen size needs a process of its own, so the test
// runs this test program again on an offscreen screen of the size wanted.
#include "EventWait.h"
#include "UiTestSupport.h"

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <QRect>
#include <QScreen>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>

namespace rv::test {
namespace {

using namespace std::chrono_literals;

// Run only by the tests below, in a process of its own with the screen set up.
TEST(WindowPlacement, DISABLED_ReportOnThisScreen)
{
    CaptureSink sink;
    TForm1 form(&sink, [] { return QStringList{}; });
    form.show();
    RunFor(100ms); // the window system reports the frame's place asynchronously
    const QRect available = form.screen()->availableGeometry();
    const QRect frame = form.frameGeometry();
    std::printf("placement available %d %d %d %d frame %d %d %d %d pos %d %d\n", available.x(),
                available.y(), available.width(), available.height(), frame.x(), frame.y(),
                frame.width(), frame.height(), form.pos().x(), form.pos().y());
    std::fflush(stdout);
}

struct Placement {
    QRect Available;
    QRect Frame;
    QPoint Pos;
};

std::optional<Placement> OpenOnScreen(int width, int height)
{
    TempDir dir;
    const std::string config = dir.Path + "/screen.json";
    std::ofstream(config) << R"({"screens": [{"name": "S", "x": 0, "y": 0, "width": )" << width
                          << R"(, "height": )" << height
                          << R"(, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    ChildProcess child("/proc/self/exe",
                       {"--gtest_also_run_disabled_tests",
                        "--gtest_filter=WindowPlacement.DISABLED_ReportOnThisScreen", "-platform",
                        "offscreen:configfile=" + config});
    if (child.Wait(30s) != 0) {
        ADD_FAILURE() << child.Out << child.Err;
        return std::nullopt;
    }
    static const std::regex line(
        R"(placement available (-?\d+) (-?\d+) (\d+) (\d+) frame (-?\d+) (-?\d+) (\d+) (\d+) pos (-?\d+) (-?\d+))");
    std::smatch m;
    if (!std::regex_search(child.Out, m, line)) {
        ADD_FAILURE() << child.Out << child.Err;
        return std::nullopt;
    }
    const auto n = [&m](int i) { return std::stoi(m[i].str()); };
    return Placement{QRect(n(1), n(2), n(3), n(4)), QRect(n(5), n(6), n(7), n(8)),
                     QPoint(n(9), n(10))};
}

TEST(WindowPlacement, KeepsItsPlaceWhereItFits)
{
    const auto p = OpenOnScreen(1920, 1080);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Available, QRect(0, 0, 1920, 1080));
    EXPECT_EQ(p->Pos, QPoint(425, 157));
}

TEST(WindowPlacement, MovesTheLeastThatMakesItFit)
{
    for (const auto& [w, h] : {std::pair{1280, 800}, std::pair{1366, 768}}) {
        const auto p = OpenOnScreen(w, h);
        ASSERT_TRUE(p) << w << "x" << h;
        EXPECT_EQ(p->Available, QRect(0, 0, w, h));
        EXPECT_TRUE(p->Available.contains(p->Frame)) << w << "x" << h;
        // Too far right and too low at 425,157: pulled back to the right and bottom edges only.
        EXPECT_EQ(p->Frame.right(), p->Available.right()) << w << "x" << h;
        EXPECT_EQ(p->Frame.bottom(), p->Available.bottom()) << w << "x" << h;
    }
    // Only the axis that does not fit moves.
    const auto wide = OpenOnScreen(2560, 800);
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->Pos.x(), 425);
    EXPECT_EQ(wide->Frame.bottom(), wide->Available.bottom());
}

TEST(WindowPlacement, AScreenSmallerThanTheWindowShowsItsTopLeft)
{
    const auto p = OpenOnScreen(800, 600);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Frame.topLeft(), p->Available.topLeft());
}

} // namespace
} // namespace rv::test
