#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "FakeFixture.h"
#include "rangeview/common/IntegerText.h"

namespace rv::test {
namespace {

// --- Failure rows of the open -------------------------------------------------------------

struct OpenRow {
    const char* Name;
    std::function<void(FakePlatform&)> Arrange;
    const char* BaudText;
    std::vector<std::string> Notices;
    bool Throws;
    ConnectionState State;
    bool PortOpen;
    bool Opened; // the host was told the port is open
    int NoCreateThread;
    bool EverythingReleased;
};

void PrintTo(const OpenRow& row, std::ostream* os)
{
    *os << row.Name;
}

class OpenFailureTable : public FakeConnectionTest,
                         public ::testing::WithParamInterface<OpenRow> { };

TEST_P(OpenFailureTable, ShowsTheMessageAndLeavesTheState)
{
    const OpenRow& row = GetParam();
    row.Arrange(*Platform);

    bool threw = false;
    try {
        Conn->Open("COM3", row.BaudText);
    } catch (const ConvertError& e) {
        threw = true;
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
    EXPECT_EQ(threw, row.Throws);
    EXPECT_EQ(Host->NoticeTexts(), row.Notices);
    EXPECT_EQ(Conn->State(), row.State);
    EXPECT_EQ(Conn->PortOpen(), row.PortOpen);
    EXPECT_EQ(Host->OpenedCount, row.Opened ? 1 : 0);
    EXPECT_EQ(Host->NoCreateThread, row.NoCreateThread);
    EXPECT_EQ(AllReleased(), row.EverythingReleased);
    if (auto port = Platform->LastPort()) {
        // DTR goes up whenever the open went on past the reader's start, thread or not.
        const bool pastReader =
            row.State == ConnectionState::Open || row.State == ConnectionState::OpenWithoutReader;
        EXPECT_EQ(port->DtrRaised(), pastReader ? 1 : 0);
    }
    ExpectNoMisuse();

    // Whatever the row left, close then brings everything back, and the same port opens again.
    Conn->Close();
    EXPECT_EQ(Conn->State(), ConnectionState::Closed);
    // The reader releases its own event as it ends, which close does not wait for.
    EXPECT_TRUE(Platform->WaitThreadsEnded(2s));
    EXPECT_TRUE(AllReleased());
    Platform->FailAlways(FakeOp::SetCommState, false);
    Platform->FailAlways(FakeOp::SetCommMask, false);
    Conn->Open("COM3", "9600");
    EXPECT_EQ(Conn->State(), ConnectionState::Open);
    Conn->Close();
}

const OpenRow OpenRows[] = {
    {"EventCannotBeCreated",
     [](FakePlatform& p) { p.FailCall(FakeOp::NewEvent); },
     "9600",
     {"CreateEvent Error!"},
     false,
     ConnectionState::Closed,
     false,
     false,
     0,
     true},
    {"PortCannotBeOpened",
     [](FakePlatform& p) { p.FailCall(FakeOp::OpenPort); },
     "9600",
     {"串口打开失败!"},
     false,
     ConnectionState::Closed,
     false,
     false,
     0,
     true},
    {"BaudTextNotAnInteger",
     [](FakePlatform&) {},
     "abc",
     {},
     true,
     ConnectionState::Closed,
     false,
     false,
     0,
     true},
    {"BaudRefused",
     [](FakePlatform& p) { p.FailAlways(FakeOp::SetCommState); },
     "9600",
     {},
     false,
     ConnectionState::Closed,
     false,
     false,
     0,
     true},
    {"MaskRefusedAfterConfigured",
     [](FakePlatform& p) { p.FailAlways(FakeOp::SetCommMask); },
     "9600",
     {"SetCommMask Error !"},
     false,
     ConnectionState::ConfiguredWithoutEventMask,
     true,
     false,
     0,
     false},
    {"MaskRefusedAfterBaudRefused",
     [](FakePlatform& p) {
         p.FailAlways(FakeOp::SetCommState);
         p.FailAlways(FakeOp::SetCommMask);
     },
     "9600",
     {"SetCommMask Error !"},
     false,
     ConnectionState::Closed,
     false,
     false,
     0,
     true},
    {"NoReaderThread",
     [](FakePlatform& p) { p.FailCall(FakeOp::StartThread); },
     "9600",
     {},
     false,
     ConnectionState::OpenWithoutReader,
     true,
     true,
     1,
     false},
    {"Success",
     [](FakePlatform&) {},
     "9600",
     {},
     false,
     ConnectionState::Open,
     true,
     true,
     0,
     false},
};

INSTANTIATE_TEST_SUITE_P(Open, OpenFailureTable, ::testing::ValuesIn(OpenRows),
                         [](const auto& rowInfo) { return std::string(rowInfo.param.Name); });

// --- Successful open ----------------------------------------------------------------------

TEST_F(FakeConnectionTest, OpenConfiguresEightNoneOneAndKeepsTheRest)
{
    Conn->Open("COM3", "9600");
    auto port = Platform->LastPort();
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(Platform->OpenedNames(), std::vector<std::string>{"COM3"});
    const LineSettings s = port->Settings();
    EXPECT_EQ(s.BaudRate, 9600u);
    EXPECT_EQ(s.ByteSize, 8);
    EXPECT_EQ(s.Parity, NoParity);
    EXPECT_EQ(s.StopBits, OneStopBit);
    EXPECT_TRUE(port->TimeoutsSet());
    EXPECT_EQ(port->InQueueAsked(), 4096u);
    EXPECT_EQ(port->Masks(), std::vector<std::uint32_t>{EvRxChar});
    EXPECT_EQ(port->DtrRaised(), 1);
    EXPECT_EQ(Host->OpenedCount, 1);
    EXPECT_TRUE(Link()->ReadDoneEvent->IsSignalled());
    EXPECT_TRUE(port->WaitForWaiter(2s));
    EXPECT_TRUE(Link()->ReaderActive.load());
}

TEST_F(FakeConnectionTest, TypedBaudTextsAreUsedAsConverted)
{
    Conn->Open("COM3", "  57600");
    EXPECT_EQ(Platform->LastPort()->Settings().BaudRate, 57600u);
    Conn->Close();
    Conn->Open("COM3", "$1C200");
    EXPECT_EQ(Platform->LastPort()->Settings().BaudRate, 115200u);
    Conn->Close();
    // A negative number reaches the port as the unsigned value it stands for; the port decides.
    Conn->Open("COM3", "-1");
    EXPECT_EQ(Platform->LastPort()->Settings().BaudRate, 0xFFFFFFFFu);
}

// --- Close --------------------------------------------------------------------------------

TEST_F(FakeConnectionTest, CloseWithNothingOpenDoesNothing)
{
    Conn->Close();
    EXPECT_EQ(Host->ClosedCount, 0);
    EXPECT_EQ(Host->TimerDisables, 0);
}

TEST_F(FakeConnectionTest, CloseRunsTheSequenceAndTheReaderEnds)
{
    auto port = OpenAndWait();
    auto link = Link();
    // The window hears of the close before anything stops, and of its end once the port is
    // released, while the connection still counts as open.
    int closing = 0;
    Host->OnPortClosing = [&] {
        ++closing;
        EXPECT_EQ(Host->TimerDisables, 0);
        EXPECT_EQ(port->ReleaseCount(), 0);
        EXPECT_TRUE(Conn->PortOpen());
    };
    Host->OnPortClosed = [&] {
        EXPECT_EQ(port->ReleaseCount(), 1);
        EXPECT_TRUE(Conn->PortOpen());
    };
    Conn->Close();

    EXPECT_EQ(closing, 1);
    EXPECT_EQ(Host->ClosedCount, 1);
    EXPECT_EQ(Host->TimerDisables, 1);
    EXPECT_FALSE(Conn->PortOpen());
    EXPECT_FALSE(link->ReaderActive.load());
    EXPECT_EQ(port->Masks(), (std::vector<std::uint32_t>{EvRxChar, 0}));
    EXPECT_EQ(port->Purges(), std::vector<std::uint32_t>{15});
    EXPECT_EQ(port->ReleaseCount(), 1);
    EXPECT_TRUE(link->ReadDoneEvent->IsReleased());
    EXPECT_TRUE(Platform->WaitThreadsEnded(2s));
    // The reader released its own wait event on the way out.
    EXPECT_TRUE(AllReleased());
}

TEST_F(FakeConnectionTest, OpenCloseOpenStartsANewReaderWithNewObjects)
{
    OpenAndWait();
    auto first = Link();
    Conn->Close();
    OpenAndWait();
    auto second = Link();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first->Handle, second->Handle);
    EXPECT_NE(first->ReadDoneEvent, second->ReadDoneEvent);
    EXPECT_EQ(Platform->ThreadsStarted(), 2);
    EXPECT_EQ(Conn->State(), ConnectionState::Open);
}

TEST_F(FakeConnectionTest, SecondOpenInConfiguredWithoutMaskClosesTheFirstOne)
{
    Platform->FailCall(FakeOp::SetCommMask);
    Conn->Open("COM3", "9600");
    ASSERT_EQ(Conn->State(), ConnectionState::ConfiguredWithoutEventMask);
    auto first = Platform->LastPort();

    // The same port again: only possible because the first connection let go of it.
    Conn->Open("COM3", "9600");
    EXPECT_TRUE(first->IsReleased());
    EXPECT_NE(Platform->LastPort(), first);
    EXPECT_EQ(Conn->State(), ConnectionState::Open);
}

TEST_F(FakeConnectionTest, CloseBeforeTheReaderStartedStillEndsIt)
{
    Platform->HoldThreads(true);
    Conn->Open("COM3", "9600");
    Conn->Close();
    Platform->ReleaseHeldThreads();
    EXPECT_TRUE(Platform->WaitThreadsEnded(2s));
    EXPECT_TRUE(AllReleased());
}

TEST_F(FakeConnectionTest, CloseDoesNotWaitForAnUnhandledNotification)
{
    auto port = OpenAndWait();
    Arrive(*port, {1, 2, 3});
    auto link = Link();
    ASSERT_FALSE(link->ReadDoneEvent->IsSignalled());

    Conn->Close(); // must return although the notification was never handled
    EXPECT_EQ(Conn->State(), ConnectionState::Closed);
    EXPECT_TRUE(Platform->WaitThreadsEnded(2s));

    // Handled late, the notification acts on nothing.
    EXPECT_EQ(Host->Pump(*Conn), 1);
    EXPECT_TRUE(Host->Received.empty());
}

TEST_F(FakeConnectionTest, LateNotificationDoesNotTouchTheNextConnection)
{
    auto first = OpenAndWait();
    Arrive(*first, {1, 2, 3});
    const auto stale = Host->TakePosted();
    ASSERT_TRUE(stale);
    Conn->Close();

    auto second = OpenAndWait();
    second->Inject({9});
    ASSERT_TRUE(Host->WaitForPosted(1, 2s));
    Conn->OnCommNotify(*stale);
    EXPECT_TRUE(Host->Received.empty());
    EXPECT_EQ(second->Queued(), 1u);
    EXPECT_FALSE(Link()->ReadDoneEvent->IsSignalled())
        << "stale notification completed the hand-off";

    Host->Pump(*Conn);
    EXPECT_EQ(Host->Received, std::vector<std::uint8_t>{9});
}

// --- The reader ends with its connection --------------------------------------------------

TEST_F(FakeConnectionTest, CloseReturnsOnlyOnceTheReaderHasEnded)
{
    auto port = OpenAndWait();
    Conn->Close();
    EXPECT_EQ(Platform->ThreadsRunning(), 0);
    EXPECT_EQ(Platform->ThreadsJoined(), 1);
}

TEST_F(FakeConnectionTest, CloseWakesAReaderWaitingForTheHandOffAndJoinsIt)
{
    auto port = OpenAndWait();
    Arrive(*port, {1, 2, 3});
    // More bytes while the first notification is unhandled: the reader goes on to wait for the
    // hand-off, which only the window thread (now closing) could complete.
    port->Inject({4});
    std::this_thread::sleep_for(50ms);
    const auto t0 = std::chrono::steady_clock::now();
    Conn->Close();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, SerialConnection::ReaderJoinBound / 2);
    EXPECT_EQ(Platform->ThreadsRunning(), 0);
    EXPECT_EQ(Platform->ThreadsJoined(), 1);
    EXPECT_EQ(Host->Pump(*Conn), 1); // the late notification acts on nothing
    EXPECT_TRUE(Host->Received.empty());
}

TEST_F(FakeConnectionTest, DestroyingTheConnectionJoinsItsReader)
{
    OpenAndWait();
    Conn.reset();
    EXPECT_EQ(Platform->ThreadsRunning(), 0);
    EXPECT_EQ(Platform->ThreadsJoined(), 1);
}

TEST_F(FakeConnectionTest, AReaderThatHasNotStartedIsJoinedAtTheEnd)
{
    Platform->HoldThreads(true);
    Conn->Open("COM3", "9600");
    Conn->Close(); // cannot wait for a thread that has not run yet
    EXPECT_EQ(Platform->ThreadsJoined(), 0);
    Platform->ReleaseHeldThreads();
    Conn.reset();
    EXPECT_EQ(Platform->ThreadsRunning(), 0);
    EXPECT_EQ(Platform->ThreadsJoined(), 1);
}

// --- The system's reason beside the message -------------------------------------------------

TEST_F(FakeConnectionTest, AMessageCarriesTheReasonOfItsOwnFailedCallBesideItsFixedText)
{
    Platform->SetFailureError(
        FakeOp::OpenPort, {{}, "open", 13, "Permission denied: add the user to the dialout group"});
    Platform->FailCall(FakeOp::OpenPort);
    Conn->Open("ttyUSB0", "9600");
    EXPECT_EQ(Host->NoticeTexts(), std::vector<std::string>{"串口打开失败!"});
    ASSERT_TRUE(Host->Notices()[0].Reason);
    EXPECT_EQ(Describe(*Host->Notices()[0].Reason),
              "ttyUSB0: open: Permission denied: add the user to the dialout group");

    // A failure without a reason of its own carries none, not an earlier call's.
    Platform->FailCall(FakeOp::SetCommMask);
    Conn->Open("ttyUSB0", "9600");
    EXPECT_EQ(Host->Notices().at(1).Text, "SetCommMask Error !");
    EXPECT_FALSE(Host->Notices()[1].Reason);

    // A failed write's reason, not that of the clean-up after it.
    Conn->Close();
    OpenAndWait();
    Platform->SetFailureError(FakeOp::StartWrite, {{}, "write", 5, "Input/output error"});
    Platform->SetFailureError(FakeOp::ClearCommError, {{}, "ioctl(FIONREAD)", 5, "gone"});
    Platform->FailCall(FakeOp::StartWrite);
    Platform->FailCall(FakeOp::ClearCommError);
    Conn->Send("A5 45 EA");
    ASSERT_EQ(Host->ShortMessageReasons.size(), 1u);
    ASSERT_TRUE(Host->ShortMessageReasons[0]);
    EXPECT_EQ(Host->ShortMessageReasons[0]->Call, "write");
}

TEST_F(FakeConnectionTest, DestroyingTheConnectionReleasesAnOpenPort)
{
    auto port = OpenAndWait();
    Conn.reset();
    EXPECT_TRUE(port->IsReleased());
    EXPECT_TRUE(Platform->WaitThreadsEnded(2s));
    EXPECT_TRUE(AllReleased());
}

} // namespace
} // namespace rv::test
