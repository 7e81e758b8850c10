// The monitor's session and host against the in-memory serial platform.

#include "rangeview/tools/MonitorSession.h"

#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/serial/FakePlatform.h"

#include "OutputLines.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace rv {
namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> FrameBytes(std::uint16_t distance, std::uint8_t mode)
{
    std::vector<std::uint8_t> bytes(MeasurementFrame::MaxSize);
    bytes.resize(MeasurementFrame::ForReading(distance, mode).Encode(bytes));
    return bytes;
}

// The "distance,mode" part of each line, checking the whole form.
std::vector<std::string> Readings(const std::string& out)
{
    std::vector<std::string> readings;
    for (const auto& line : test::ParseMonitorLines(out))
        readings.push_back(std::to_string(line.Distance) + "," + std::to_string(line.Mode));
    return readings;
}

class Pipe {
public:
    Pipe()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            Read = fds[0];
            Write = fds[1];
        }
    }
    ~Pipe()
    {
        ::close(Read);
        ::close(Write);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    std::string Drain() const
    {
        std::string text;
        char buffer[512];
        for (ssize_t n; (n = ::read(Read, buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<std::size_t>(n));
        return text;
    }
    void Signal() const { [[maybe_unused]] const auto n = ::write(Write, "s", 1); }

    int Read = -1;
    int Write = -1;
};

class MonitorSessionTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        Session.reset();
        EXPECT_TRUE(Platform->WaitThreadsEnded(2s)) << "a reader thread was left behind";
        for (const auto& port : Platform->Ports()) {
            EXPECT_LE(port->ReleaseCount(), 1);
            EXPECT_EQ(port->UsesAfterRelease(), 0);
        }
        for (const auto& event : Platform->Events())
            EXPECT_LE(event->ReleaseCount(), 1);
    }

    MonitorSession& Make(MonitorOptions options)
    {
        Session =
            std::make_unique<MonitorSession>(std::move(options), Platform, Io, ReaderErr.Write);
        return *Session;
    }
    static MonitorOptions Options(std::optional<std::uint64_t> count = std::nullopt)
    {
        MonitorOptions options;
        options.Port = "ttyFAKE";
        options.BaudText = "115200";
        options.Count = count;
        return options;
    }

    std::shared_ptr<FakePort> Port() const { return Platform->LastPort(); }

    std::shared_ptr<FakePlatform> Platform = std::make_shared<FakePlatform>();
    std::ostringstream Out;
    std::ostringstream Err;
    CliIo Io{-1, Out, Err};
    Pipe ReaderErr;
    std::unique_ptr<MonitorSession> Session;
};

TEST_F(MonitorSessionTest, PrintsOneLinePerValidFrameUntilTheCount)
{
    auto& session = Make(Options(3));
    ASSERT_EQ(session.Start(), std::nullopt) << Err.str();
    EXPECT_EQ(Port()->Settings().BaudRate, 115200u);
    EXPECT_EQ(Port()->Settings().ByteSize, 8);

    std::vector<std::uint8_t> bytes{0x00, 0x5A};
    auto bad = FrameBytes(7, 1);
    bad.back() ^= 0xFF;
    bytes.insert(bytes.end(), bad.begin(), bad.end());
    const auto first = FrameBytes(1234, 3);
    bytes.insert(bytes.end(), first.begin(), first.begin() + 5);
    Port()->Inject(bytes);
    // The frame's rest arrives later, then more frames than wanted in one read.
    std::vector<std::uint8_t> rest(first.begin() + 5, first.end());
    for (std::uint16_t d : {65535, 0, 42, 43})
        for (auto b : FrameBytes(d, 9))
            rest.push_back(b);
    std::thread late([&] {
        std::this_thread::sleep_for(30ms);
        Port()->Inject(rest);
    });

    EXPECT_EQ(session.Loop(), 0);
    late.join();
    EXPECT_EQ(Readings(Out.str()), (std::vector<std::string>{"1234,3", "65535,9", "0,9"}));
    EXPECT_EQ(session.Host().Readings(), 3u);
    EXPECT_EQ(Err.str(), "");
    EXPECT_EQ(Port()->ReleaseCount(), 1) << "the port stays open after the last reading";
    EXPECT_FALSE(session.Connection().PortOpen());
}

TEST_F(MonitorSessionTest, VanishedPortEndsWithTheReadFailure)
{
    auto& session = Make(Options());
    ASSERT_EQ(session.Start(), std::nullopt);
    Port()->Inject(FrameBytes(500, 2));
    std::thread gone([&] {
        std::this_thread::sleep_for(30ms);
        Port()->Hangup();
    });
    EXPECT_EQ(session.Loop(), 1);
    gone.join();
    EXPECT_EQ(Readings(Out.str()), std::vector<std::string>{"500,2"});
    EXPECT_EQ(Err.str(), "rangeview-cli: monitor: /dev/ttyFAKE: ReadFile Error!\n");
    EXPECT_EQ(session.Connection().State(), ConnectionState::Closed);
}

TEST_F(MonitorSessionTest, StopRequestClosesThePortAndSucceeds)
{
    auto& session = Make(Options(1000));
    ASSERT_EQ(session.Start(), std::nullopt);
    ASSERT_TRUE(Port()->WaitForWaiter(1s));
    session.RequestStop();
    EXPECT_EQ(session.Loop(), 0);
    EXPECT_EQ(Port()->ReleaseCount(), 1);
    EXPECT_EQ(Port()->Purges(), std::vector<std::uint32_t>{15});
    EXPECT_EQ(Out.str(), "");
    EXPECT_EQ(Err.str(), "");
}

TEST_F(MonitorSessionTest, FailedOpensSayWhyAndFail)
{
    Platform->SetAbsentPorts({"ttyFAKE"});
    EXPECT_EQ(Make(Options()).Run(), 1);
    EXPECT_EQ(Err.str(), "rangeview-cli: monitor: /dev/ttyFAKE: 串口打开失败!\n");
    Platform->SetAbsentPorts({});

    // Refused line settings are the one failure the connection itself keeps quiet about.
    Err.str("");
    Platform->FailCall(FakeOp::SetCommState);
    EXPECT_EQ(Make(Options()).Run(), 1);
    EXPECT_EQ(
        Err.str(),
        "rangeview-cli: monitor: /dev/ttyFAKE: the port refused the line settings (baud 115200)\n");
    EXPECT_TRUE(Port()->IsReleased());

    Err.str("");
    Platform->FailCall(FakeOp::SetCommMask);
    EXPECT_EQ(Make(Options()).Run(), 1);
    EXPECT_EQ(Err.str(), "rangeview-cli: monitor: /dev/ttyFAKE: SetCommMask Error !\n");
    EXPECT_TRUE(Port()->IsReleased());

    Err.str("");
    Platform->FailCall(FakeOp::StartThread);
    EXPECT_EQ(Make(Options()).Run(), 1);
    EXPECT_EQ(Err.str(), "rangeview-cli: monitor: /dev/ttyFAKE: No CreateThread!\n");
    EXPECT_TRUE(Port()->IsReleased());

    Err.str("");
    Platform->FailCall(FakeOp::NewEvent);
    EXPECT_EQ(Make(Options()).Run(), 1);
    EXPECT_EQ(Err.str(), "rangeview-cli: monitor: /dev/ttyFAKE: CreateEvent Error!\n");
    EXPECT_EQ(Out.str(), "");
}

TEST_F(MonitorSessionTest, ErrorLinesCarryTheSystemsReason)
{
    Platform->SetFailureError(
        FakeOp::OpenPort,
        {"/dev/ttyFAKE", "open", 13, "Permission denied: add the user to the dialout group"});
    Platform->FailCall(FakeOp::OpenPort);
    EXPECT_EQ(Make(Options()).Run(), 1);
    EXPECT_EQ(Err.str(), "rangeview-cli: monitor: /dev/ttyFAKE: 串口打开失败! (Permission "
                         "denied: add the user to the dialout group)\n");

    // A failure without a reason of the system's says only what the connection says.
    Err.str("");
    Platform->FailCall(FakeOp::SetCommMask);
    EXPECT_EQ(Make(Options()).Run(), 1);
    EXPECT_EQ(Err.str(), "rangeview-cli: monitor: /dev/ttyFAKE: SetCommMask Error !\n");
}

TEST_F(MonitorSessionTest, SendsOnceAfterOpening)
{
    MonitorOptions options = Options();
    options.SendText = "A5 15 BA";
    auto& session = Make(options);
    ASSERT_EQ(session.Start(), std::nullopt);
    EXPECT_EQ(Port()->Written(), (std::vector<std::uint8_t>{0xA5, 0x15, 0xBA}));
    EXPECT_EQ(session.Host().TxCount(), 3);
    EXPECT_EQ(session.Host().NextTick(), std::nullopt);
}

TEST_F(MonitorSessionTest, AutoSendRepeatsAndStopsWithTheClose)
{
    MonitorOptions options = Options();
    options.SendText = "A5 15 BA";
    options.EveryText = "20";
    options.EveryMs = 20;
    auto& session = Make(options);
    ASSERT_EQ(session.Start(), std::nullopt);
    EXPECT_EQ(session.Connection().AutoSend(), AutoSendState::On);
    ASSERT_TRUE(session.Host().NextTick());
    std::thread stopper([&] {
        std::this_thread::sleep_for(250ms);
        session.RequestStop();
    });
    EXPECT_EQ(session.Loop(), 0);
    stopper.join();
    const auto written = Port()->Written();
    ASSERT_EQ(written.size() % 3, 0u);
    // One send at the open and one per 20 ms tick; a busy machine may drop ticks, never add.
    EXPECT_GE(written.size(), 3u * 4);
    EXPECT_LE(written.size(), 3u * 14);
    EXPECT_EQ(session.Host().TxCount(), static_cast<std::int32_t>(written.size()));
    EXPECT_EQ(session.Host().NextTick(), std::nullopt) << "the close stops auto-send";
}

TEST_F(MonitorSessionTest, RefusedWriteBreaksTheConnectionAndFails)
{
    MonitorOptions options = Options();
    options.SendText = "A5 45 EA";
    Platform->FailCall(FakeOp::StartWrite);
    auto& session = Make(options);
    EXPECT_EQ(session.Start(), 1);
    EXPECT_EQ(Err.str(), "rangeview-cli: monitor: /dev/ttyFAKE: 发送数据出错\n");
    EXPECT_EQ(session.Connection().State(), ConnectionState::Closed);
    EXPECT_EQ(Port()->ReleaseCount(), 1);
}

TEST_F(MonitorSessionTest, UnwritableOutputClosesAndFails)
{
    // Standard output on a full disk: the line says why.
    std::ofstream full("/dev/full");
    ASSERT_TRUE(full.is_open());
    CliIo io{-1, full, Err};
    Session = std::make_unique<MonitorSession>(Options(), Platform, io, ReaderErr.Write);
    ASSERT_EQ(Session->Start(), std::nullopt);
    Port()->Inject(FrameBytes(10, 1));
    EXPECT_EQ(Session->Loop(), 1);
    EXPECT_EQ(Err.str(), "rangeview-cli: monitor: cannot write the readings to standard output: "
                         "No space left on device\n");
    EXPECT_EQ(Port()->ReleaseCount(), 1);
    Session.reset();
}

TEST_F(MonitorSessionTest, ReconnectFoldsTheLossIntoOneLineAndCarriesOn)
{
    MonitorOptions options = Options(2);
    options.Reconnect = true;
    auto& session = Make(options);
    ASSERT_EQ(session.Start(), std::nullopt) << Err.str();
    const auto first = Port();
    first->Inject(FrameBytes(500, 2));
    std::thread device([&] {
        std::this_thread::sleep_for(30ms);
        // Unplugged: gone, and not there for the next two attempts.
        Platform->SetAbsentPorts({"ttyFAKE"});
        first->Hangup();
        std::this_thread::sleep_for(1200ms);
        Platform->SetAbsentPorts({});
        for (auto end = std::chrono::steady_clock::now() + 3s;
             Port() == first && std::chrono::steady_clock::now() < end;)
            std::this_thread::sleep_for(5ms);
        if (Port() != first && Port()->WaitForWaiter(2s))
            Port()->Inject(FrameBytes(600, 1));
    });
    EXPECT_EQ(session.Loop(), 0);
    device.join();

    const auto lines = test::ParseMonitorLines(Out.str());
    ASSERT_EQ(lines.size(), 2u) << Out.str();
    EXPECT_EQ(lines[0].Distance, 500);
    EXPECT_EQ(lines[1].Distance, 600);
    EXPECT_GE(lines[1].Elapsed, 1200) << "elapsed time counts from the first open";
    EXPECT_EQ(Err.str(), "rangeview-cli: monitor: /dev/ttyFAKE: port lost (ReadFile Error!); "
                         "reopening every 500 ms\n"
                         "rangeview-cli: monitor: /dev/ttyFAKE: port back\n");
    // The first open, at least two refused attempts, and the one that found the port again.
    EXPECT_GE(Platform->OpenedNames().size(), 4u);
    EXPECT_EQ(first->ReleaseCount(), 1);
    EXPECT_EQ(Port()->ReleaseCount(), 1);
}

TEST_F(MonitorSessionTest, WithoutReconnectALostPortEndsTheRun)
{
    MonitorOptions options = Options();
    options.Stats = true;
    auto& session = Make(options);
    ASSERT_EQ(session.Start(), std::nullopt);
    Port()->Inject(FrameBytes(500, 2));
    std::thread gone([&] {
        std::this_thread::sleep_for(30ms);
        Port()->Hangup();
    });
    EXPECT_EQ(session.Loop(), 1);
    gone.join();
    EXPECT_FALSE(session.Reopening());
    const auto lines = test::Lines(Err.str());
    ASSERT_EQ(lines.size(), 2u) << Err.str();
    EXPECT_EQ(lines[0], "rangeview-cli: monitor: /dev/ttyFAKE: ReadFile Error!");
    EXPECT_TRUE(lines[1].starts_with("rangeview-cli: monitor: stats: readings=1 bytes=8 "))
        << "the statistics come at every end: " << lines[1];
}

TEST_F(MonitorSessionTest, StatisticsCountWhatTheDecoderDropped)
{
    MonitorOptions options = Options(2);
    options.Stats = true;
    auto& session = Make(options);
    ASSERT_EQ(session.Start(), std::nullopt);
    std::vector<std::uint8_t> bytes{0x00, 0x11};
    auto bad = FrameBytes(7, 1);
    bad.back() ^= 0xFF;
    bytes.insert(bytes.end(), bad.begin(), bad.end());
    for (std::uint16_t d : {100, 300})
        for (auto b : FrameBytes(d, 0))
            bytes.push_back(b);
    Port()->Inject(bytes);
    EXPECT_EQ(session.Loop(), 0);
    const std::string err = Err.str();
    EXPECT_TRUE(err.starts_with("rangeview-cli: monitor: stats: readings=2 bytes=26 "
                                "checksum_drops=1 skipped_bytes=2 readings_per_s="))
        << err;
    EXPECT_NE(err.find(" distance_min=100 distance_max=300 distance_mean=200.000 "
                       "distance_sd=141.421 modes=0:2\n"),
              std::string::npos)
        << err;
}

TEST_F(MonitorSessionTest, RecordingsThatCannotBeWrittenEndTheRun)
{
    // Refused at creation: the port is never touched.
    MonitorOptions missing = Options();
    missing.CsvPath = "/nonexistent/rangeview/r.csv";
    EXPECT_EQ(Make(missing).Run(), 1);
    EXPECT_EQ(Err.str(), "rangeview-cli: monitor: --csv /nonexistent/rangeview/r.csv: cannot "
                         "create: No such file or directory\n");
    EXPECT_TRUE(Platform->OpenedNames().empty());

    test::TempDir dir;
    const auto names = [&] {
        std::set<std::string> list;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path))
            list.insert(entry.path().filename().string());
        return list;
    };
    // A port that does not open leaves no file behind (the same command can run again), and
    // --overwrite has replaced nothing; nor has a --raw that cannot be created.
    Err.str("");
    Platform->SetAbsentPorts({"ttyFAKE"});
    MonitorOptions absent = Options();
    absent.CsvPath = dir.Path + "/r.csv";
    absent.RawPath = dir.Path + "/r.cap";
    EXPECT_EQ(Make(absent).Run(), 1);
    EXPECT_TRUE(names().empty());
    std::ofstream(absent.CsvPath) << "earlier\n";
    std::ofstream(absent.RawPath) << "earlier\n";
    absent.Overwrite = true;
    EXPECT_EQ(Make(absent).Run(), 1);
    Platform->SetAbsentPorts({});
    absent.RawPath = dir.Path + "/no/r.cap";
    EXPECT_EQ(Make(absent).Run(), 1);
    EXPECT_EQ(names(), (std::set<std::string>{"r.cap", "r.csv"}));
    for (const std::string name : {"/r.csv", "/r.cap"}) {
        std::ifstream in(dir.Path + name);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "earlier\n");
    }
    std::filesystem::remove(dir.Path + "/r.csv");
    std::filesystem::remove(dir.Path + "/r.cap");

    // A full disk (the file-size limit here): found when the header is handed over, and the
    // port is closed again.
    Err.str("");
    MonitorOptions full = Options();
    full.RawPath = dir.Path + "/full.cap";
    {
        test::FileSizeLimit limit(10);
        ASSERT_TRUE(limit.Ok);
        EXPECT_EQ(Make(full).Run(), 1);
    }
    EXPECT_EQ(Err.str(),
              "rangeview-cli: monitor: --raw " + full.RawPath + ": cannot write: File too large\n");
    EXPECT_EQ(Port()->ReleaseCount(), 1);
    EXPECT_TRUE(names().empty()) << "a file that holds nothing is not left to refuse a re-run";
}

TEST(MonitorHost, NotificationsPassThroughTheQueueInOrder)
{
    std::ostringstream out;
    std::ostringstream err;
    auto host = std::make_shared<MonitorHost>(out, err, -1);
    ASSERT_TRUE(host->Ok());
    std::array<CommHandle, 4> taken{};
    EXPECT_EQ(host->TakeNotifications(taken), 0u) << "an empty queue must not block";

    std::thread reader([&] {
        for (CommHandle h = 1; h <= 6; ++h)
            EXPECT_TRUE(host->PostCommNotify(h));
    });
    reader.join();
    std::vector<CommHandle> all;
    for (std::size_t n; (n = host->TakeNotifications(taken)) > 0;)
        all.insert(all.end(), taken.begin(), taken.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(all, (std::vector<CommHandle>{1, 2, 3, 4, 5, 6}));
    EXPECT_FALSE(host->PostFailed());
}

TEST(MonitorHost, NoticesFromTheReaderBypassTheOwnersStream)
{
    std::ostringstream out;
    std::ostringstream err;
    Pipe readerErr;
    MonitorHost host(out, err, readerErr.Write);
    std::thread reader([&] { host.Fault(ConnectionFault::NotifyFailed, std::nullopt); });
    reader.join();
    host.Fault(ConnectionFault::ClearErrorFailed, std::nullopt);
    host.Fault(ConnectionFault::NotOpen, std::nullopt);
    EXPECT_EQ(readerErr.Drain(), "rangeview-cli: monitor: PostMessage Error !\n");
    EXPECT_EQ(err.str(), "rangeview-cli: monitor: ClearCommError !\n"
                         "rangeview-cli: monitor: 未打开串口\n");
    EXPECT_EQ(host.MessagesShown(), 2);
}

TEST(MonitorHost, ElapsedTimeCountsFromTheOpen)
{
    std::ostringstream out;
    std::ostringstream err;
    MonitorHost host(out, err, -1);
    host.MarkOpened(MonitorHost::Clock::now() - 1500ms);
    const auto frame = FrameBytes(300, 4);
    host.ProcessReceivedBytes(frame);
    const auto lines = test::Lines(out.str());
    ASSERT_EQ(lines.size(), 1u);
    const long elapsed = std::stol(lines[0]);
    EXPECT_GE(elapsed, 1500);
    EXPECT_LT(elapsed, 1500 + 2000);
    EXPECT_TRUE(lines[0].ends_with(",300,4"));
}

TEST(MonitorHost, TimerTicksDoNotPileUp)
{
    std::ostringstream out;
    std::ostringstream err;
    MonitorHost host(out, err, -1);
    EXPECT_EQ(host.NextTick(), std::nullopt);
    host.EnableTimer(0);
    EXPECT_EQ(host.NextTick(), std::nullopt) << "period 0 is on without ticks";
    host.EnableTimer(100);
    const auto first = *host.NextTick();
    host.TickTaken(first);
    EXPECT_EQ(*host.NextTick(), first + 100ms);
    // Taken half a second late: one tick, and the next a full period later.
    host.TickTaken(first + 600ms);
    EXPECT_EQ(*host.NextTick(), first + 700ms);
    host.DisableTimer();
    EXPECT_EQ(host.NextTick(), std::nullopt);
}

} // namespace
} // namespace rv
