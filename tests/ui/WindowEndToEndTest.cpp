// The window on a real pseudo-terminal served by rangeview-sim, and the rangeview program
// itself: offscreen, with messages captured.
#include "EventWait.h"
#include "UiTestSupport.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include "rangeview/serial/SystemPlatform.h"
#include "rangeview/ui/ProgramOptions.h"
#include "rangeview/ui/SerialLink.h"

#include <QElapsedTimer>
#include <QImage>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

namespace rv::test {
namespace {

using namespace std::chrono_literals;

const std::string SimExe = RV_SIM_EXE;
const std::string RangeviewExe = RV_RANGEVIEW_EXE;

std::size_t Entries(const char* dir)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

std::size_t OpenFds()
{
    return Entries("/proc/self/fd");
}

std::size_t Threads()
{
    return Entries("/proc/self/task");
}

std::chrono::microseconds CpuTime()
{
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return std::chrono::seconds(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           std::chrono::microseconds(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
}

// "sent N frames" as the simulator reports it when it stops; -1 when missing.
long long SentFrames(const std::string& err)
{
    static const std::regex sent("sent ([0-9]+) frames");
    std::smatch m;
    long long last = -1;
    for (auto it = std::sregex_iterator(err.begin(), err.end(), sent); it != std::sregex_iterator();
         ++it)
        last = std::stoll((*it)[1]);
    return last;
}

class WindowEndToEnd : public FormTest {
protected:
    TempDir Dir;
    std::string Link;

    void SetUp() override
    {
        FormTest::SetUp();
        ASSERT_FALSE(Dir.Path.empty());
        Link = Dir.Path + "/port";
        form->AttachSerialLink(MakeSystemPlatform());
        Parts(form).ComboBox1->setEditText(QString::fromStdString(Link));
    }

    std::unique_ptr<ChildProcess> StartSim(std::vector<std::string> args)
    {
        args.insert(args.end(), {"--link", Link});
        auto sim = std::make_unique<ChildProcess>(SimExe, std::move(args));
        EXPECT_TRUE(sim->Started());
        EXPECT_FALSE(sim->FirstLine().empty()) << sim->Err;
        return sim;
    }

    SerialConnection& Conn() { return form->Link()->Connection(); }

    void Open()
    {
        Parts(form).BitBtn1->click();
        ASSERT_EQ(Conn().State(), ConnectionState::Open) << Messages();
    }

    std::string Messages() const
    {
        std::string all;
        for (const auto& m : sink.Messages)
            all += m.text.toStdString() + "\n";
        return all;
    }

    std::vector<QString> Notices() const
    {
        std::vector<QString> texts;
        for (const auto& m : sink.Messages)
            if (m.kind == CaptureSink::Kind::Notice)
                texts.push_back(m.text);
        return texts;
    }
};

TEST_F(WindowEndToEnd, ReadingsReachTheReadOutAndAModeCommandRenamesTheMode)
{
    auto sim = StartSim({"--rate", "50", "--mode", "0"});
    Open();
    ASSERT_TRUE(WaitUntil([&] { return !Parts(form).Label4->text().isEmpty(); }, 5s)) << Messages();
    const int distance = Parts(form).Label4->text().toInt();
    EXPECT_GE(distance, 500);
    EXPECT_LE(distance, 2500);
    EXPECT_EQ(Parts(form).Label12->text(), QStringLiteral("0"));
    EXPECT_EQ(Parts(form).Label13->text(), QStringLiteral("长距离模式"));

    Parts(form).ComboBox3->setCurrentIndex(4);
    ASSERT_EQ(Parts(form).ComboBox3->currentText(), QStringLiteral("A5 51 F6"));
    Parts(form).Button2->click();
    EXPECT_EQ(Parts(form).Label9->text(), QStringLiteral("3"));
    ASSERT_TRUE(
        WaitUntil([&] { return Parts(form).Label13->text() == QStringLiteral("高速模式"); }, 5s));
    EXPECT_EQ(Parts(form).Label12->text(), QStringLiteral("1"));
    EXPECT_GT(Parts(form).RxCount, 0);
    EXPECT_EQ(Parts(form).RxCount % 8, 0);

    Parts(form).Button1->click();
    EXPECT_TRUE(Parts(form).BitBtn1->isEnabled());
    EXPECT_TRUE(sim->WaitForErr("host closed the port", 3s)) << sim->Err;
    EXPECT_TRUE(sink.Messages.empty()) << Messages();
}

TEST_F(WindowEndToEnd, AutoSendQueriesGetOneReadingPerTick)
{
    auto sim = StartSim({"--query"});
    Open();
    Parts(form).BitBtn2->click(); // waveform on: each reading adds a point
    Parts(form).ComboBox3->setCurrentIndex(1);
    ASSERT_EQ(Parts(form).ComboBox3->currentText(), QStringLiteral("A5 15 BA"));
    Parts(form).ComboBox4->setCurrentIndex(0); // "50"

    int ticks = 0;
    std::vector<std::int32_t> txAfterTick;
    QObject::connect(Parts(form).Timer1, &QTimer::timeout, form.get(), [&] {
        ++ticks;
        txAfterTick.push_back(form->TxCount());
    });
    QElapsedTimer running;
    running.start();
    Parts(form).Button4->click();
    RunFor(2s);
    Parts(form).Button4->click();
    const qint64 elapsedMs = running.elapsed();
    ASSERT_TRUE(WaitUntil([&] { return Parts(form).SampleIndex == ticks; }, 2s))
        << Parts(form).SampleIndex << " readings for " << ticks << " ticks";

    EXPECT_GE(ticks, 25);
    EXPECT_LE(ticks, elapsedMs / 50); // never more than one tick per period
    for (std::size_t i = 0; i < txAfterTick.size(); ++i)
        EXPECT_EQ(txAfterTick[i], static_cast<std::int32_t>(3 * (i + 1)));
    EXPECT_EQ(form->TxCount(), 3 * ticks);
    EXPECT_EQ(Parts(form).RxCount, 8 * ticks);
    RunFor(200ms);
    EXPECT_EQ(Parts(form).SampleIndex, ticks); // nothing unasked for
    EXPECT_TRUE(sink.Messages.empty()) << Messages();
}

TEST_F(WindowEndToEnd, ThirtySecondsOfBurstAtTheFullRateLoseNoFrame)
{
    constexpr long long frames = 43200; // 30 s of 1440 frames per second (115200 baud)
    auto sim = StartSim({"--burst", "--frames", std::to_string(frames)});
    Parts(form).ComboBox2->setCurrentIndex(1);
    form->show(); // painting included
    Open();
    Parts(form).BitBtn2->click();
    Parts(form).Button5->click();
    ASSERT_TRUE(WaitUntil([&] { return Parts(form).SampleIndex >= frames; }, 45s))
        << Parts(form).SampleIndex << " of " << frames;
    RunFor(300ms);
    sim->Signal(SIGTERM);
    EXPECT_EQ(sim->Wait(5s), 0);
    const long long sent = SentFrames(sim->Err);
    EXPECT_EQ(sent, frames) << sim->Err;
    EXPECT_EQ(Parts(form).SampleIndex, sent);
    EXPECT_EQ(Parts(form).RxCount, 8 * sent);
    EXPECT_EQ(form->Series1().PointCount(), sent);
    Parts(form).Button1->click();
    EXPECT_TRUE(sink.Messages.empty()) << Messages();
}

TEST_F(WindowEndToEnd, TwoHundredOpenCloseCyclesWhileDataFlowsLeaveNothingBehind)
{
    auto sim = StartSim({"--rate", "1000"});
    // One cycle first, so that whatever the first open sets up for good is in the baseline.
    Open();
    RunFor(60ms);
    Parts(form).Button1->click();
    RunFor(100ms);
    const std::size_t fds = OpenFds();
    const std::size_t threads = Threads();

    int cyclesWithData = 0;
    for (int i = 0; i < 200; ++i) {
        const std::int32_t rx = Parts(form).RxCount;
        Parts(form).BitBtn1->click();
        ASSERT_EQ(Conn().State(), ConnectionState::Open) << "cycle " << i << "\n" << Messages();
        if (i % 10 == 0)
            Parts(form).Button2->click();
        RunFor(std::chrono::milliseconds(5 + (i % 7) * 5));
        Parts(form).Button1->click();
        ASSERT_EQ(Conn().State(), ConnectionState::Closed);
        if (Parts(form).RxCount > rx)
            ++cyclesWithData;
    }
    EXPECT_GT(cyclesWithData, 10);
    EXPECT_EQ(form->TxCount(), 3 * 20);
    EXPECT_TRUE(WaitUntil([&] { return Threads() <= threads && OpenFds() <= fds; }, 3s))
        << "threads " << Threads() << " (were " << threads << "), fds " << OpenFds() << " (were "
        << fds << ")";
    EXPECT_TRUE(sink.Messages.empty()) << Messages();
}

TEST_F(WindowEndToEnd, AHangupGivesOneReadFailureThenCloseAndAReopenWork)
{
    const std::size_t threads = Threads();
    {
        auto sim = StartSim({"--rate", "50", "--hangup-after", "1"});
        Open();
        ASSERT_TRUE(WaitUntil([&] { return Parts(form).RxCount > 0; }, 3s));
        ASSERT_TRUE(WaitUntil([&] { return !sink.Messages.empty(); }, 5s));
        EXPECT_EQ(sim->Wait(5s), 0);
        EXPECT_NE(sim->Err.find("hanging up"), std::string::npos) << sim->Err;
    }
    // Idle afterwards: no busy reader, no stream of notifications.
    const auto before = CpuTime();
    RunFor(1s);
    const auto used = CpuTime() - before;
    EXPECT_LT(used, 100ms) << used.count() << " us of CPU in 1 s";
    EXPECT_EQ(Notices(), std::vector<QString>{QStringLiteral("ReadFile Error!")});
    EXPECT_EQ(sink.Messages.size(), 1u) << Messages();
    EXPECT_EQ(Conn().State(), ConnectionState::Broken);
    EXPECT_FALSE(Parts(form).BitBtn1->isEnabled());
    EXPECT_TRUE(WaitUntil([&] { return Threads() <= threads; }, 2s));

    Parts(form).Button1->click();
    EXPECT_EQ(Conn().State(), ConnectionState::Closed);
    EXPECT_TRUE(Parts(form).BitBtn1->isEnabled());

    // The module comes back on the same link.
    auto sim = StartSim({"--rate", "50"});
    const std::int32_t rx = Parts(form).RxCount;
    Open();
    EXPECT_TRUE(WaitUntil([&] { return Parts(form).RxCount > rx; }, 3s));
    Parts(form).Button1->click();
    EXPECT_EQ(sink.Messages.size(), 1u) << Messages();
}

TEST(RangeviewProgram, DemoOpensThePortAndWritesTheWindowImage)
{
    TempDir dir;
    ASSERT_FALSE(dir.Path.empty());
    const std::string link = dir.Path + "/port";
    const std::string png = dir.Path + "/window.png";
    // The picture replaces a link at its path, never what the link points to.
    const std::string other = dir.Path + "/other";
    std::ofstream(other) << "kept";
    std::filesystem::create_symlink(other, png);
    ChildProcess sim(SimExe, {"--rate", "20", "--link", link});
    ASSERT_FALSE(sim.FirstLine().empty()) << sim.Err;

    ChildProcess program(RangeviewExe,
                         {"--port", link, "--demo", "--screenshot", png, "--quit-after", "1500"},
                         {"QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(program.Wait(10s), 0) << program.Err;
    EXPECT_EQ(program.Out, png + "\n");
    QImage image(QString::fromStdString(png));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(960, 669));
    EXPECT_FALSE(std::filesystem::is_symlink(png));
    std::string kept;
    std::getline(std::ifstream(other), kept);
    EXPECT_EQ(kept, "kept");
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path))
        EXPECT_NE(entry.path().extension(), ".tmp") << "left behind: " << entry.path();
    EXPECT_TRUE(sim.WaitForErr("host opened the port", 2s)) << sim.Err;
    // The port was released when the program ended.
    EXPECT_TRUE(sim.WaitForErr("host closed the port", 2s)) << sim.Err;
}

TEST(RangeviewProgram, BadCommandLinesAndFailedScreenshotsAreNoSuccess)
{
    const std::vector<std::string> env{"QT_QPA_PLATFORM=offscreen"};
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--quit-after", "abc"}, {"--bogus"}, {"--port"}}) {
        ChildProcess program(RangeviewExe, args, env);
        EXPECT_EQ(program.Wait(10s), 2) << args[0];
        EXPECT_TRUE(program.Out.empty()) << program.Out;
        // One line of its own (Qt may add notes of its own about the platform).
        std::size_t lines = 0;
        for (std::size_t at = program.Err.find("rangeview: "); at != std::string::npos;
             at = program.Err.find("rangeview: ", at + 1)) {
            EXPECT_TRUE(at == 0 || program.Err[at - 1] == '\n') << program.Err;
            ++lines;
        }
        EXPECT_EQ(lines, 1u) << program.Err;
    }

    ChildProcess program(RangeviewExe,
                         {"--screenshot", "/nonexistent/folder/window.png", "--quit-after", "100"},
                         env);
    EXPECT_EQ(program.Wait(10s), 1) << program.Err;
    EXPECT_NE(program.Err.find("rangeview: cannot write /nonexistent/folder/window.png: No such "
                               "file or directory\n"),
              std::string::npos)
        << program.Err;
}

TEST(RangeviewProgram, HelpAndABadCommandLineNeedNoDisplayAndShowNoBoxToAPipe)
{
    // As a script starts it: no terminal (a session of its own), the output in pipes. The
    // display named cannot be reached: an application object made here would abort.
    const std::string setsid = "/usr/bin/setsid";
    if (::access(setsid.c_str(), X_OK) != 0)
        GTEST_SKIP() << "no " << setsid;
    const std::vector<std::string> env{"QT_QPA_PLATFORM=xcb", "DISPLAY=:65000", "WAYLAND_DISPLAY="};
    ChildProcess help(setsid, {RangeviewExe, "-platform", "xcb", "--help"}, env);
    EXPECT_EQ(help.Wait(10s), 0) << help.Err;
    EXPECT_EQ(help.Out, ProgramUsage().toStdString());
    ChildProcess bad(setsid, {RangeviewExe, "--bogus"}, env);
    EXPECT_EQ(bad.Wait(10s), 2) << bad.Err;
    EXPECT_EQ(bad.Err, "rangeview: unknown option '--bogus' (--help lists them)\n");
}

// The size of the window's picture on an offscreen screen of the size (in device pixels) and the
// scale given: the scale the program took. The offscreen screen's scale is its own, as on
// Wayland, not one Qt makes.
QSize WindowPictureOn(int width, int height, double ratio, std::vector<std::string> env = {})
{
    TempDir dir;
    const std::string config = dir.Path + "/screen.json";
    const std::string png = dir.Path + "/window.png";
    std::ofstream(config) << R"({"screens": [{"name": "S", "x": 0, "y": 0, "width": )"
                          << width / ratio << R"(, "height": )" << height / ratio
                          << R"(, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": )" << ratio
                          << "}]}";
    ChildProcess program(
        RangeviewExe,
        {"-platform", "offscreen:configfile=" + config, "--screenshot", png, "--quit-after", "100"},
        env);
    if (program.Wait(10s) != 0) {
        ADD_FAILURE() << program.Err;
        return {};
    }
    return QImage(QString::fromStdString(png)).size();
}

TEST(RangeviewProgram, AScaleTooLargeForTheScreenFallsToTheWholeEighthsThatFit)
{
    // 200 % on 1920 x 1080 falls to 150 % (the offscreen frame is 2 pixels wide); 150 % falls
    // to 137.5 % where a taskbar takes 72 pixels.
    EXPECT_EQ(WindowPictureOn(1920, 1080, 2), QSize(1440, 1004));
    EXPECT_EQ(WindowPictureOn(1920, 1008, 1.5), QSize(1320, 920));
    // A factor the user set is taken as it is, fitting or not.
    EXPECT_EQ(WindowPictureOn(2560, 1440, 1, {"QT_SCALE_FACTOR=1.25"}), QSize(1200, 836));
    EXPECT_EQ(WindowPictureOn(1920, 1080, 1, {"QT_SCALE_FACTOR=2"}), QSize(1920, 1338));
}

TEST(RangeviewProgram, AFailedOpenLogsThePortAndTheReasonOnStandardError)
{
    TempDir dir;
    ASSERT_FALSE(dir.Path.empty());
    const std::string file = dir.Path + "/not-a-port";
    {
        std::ofstream(file) << "x";
    }
    ChildProcess program(RangeviewExe, {"--port", file, "--demo", "--quit-after", "1000"},
                         {"QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(program.Wait(10s), 0) << program.Err;
    EXPECT_NE(program.Err.find(file + ": isatty: "), std::string::npos) << program.Err;
    EXPECT_NE(program.Err.find("not a terminal"), std::string::npos) << program.Err;
}

} // namespace
} // namespace rv::test
