#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "FakeFixture.h"

namespace rv::test {
namespace {

// --- Failure rows of the open -------------------------------------------------------------

struct OpenRow {
    const char* Name;
    std::function<void(FakePlatform&)> Arrange;
    std::optional<std::uint32_t> Baud;
    std::vector<ConnectionFault> Faults;
    bool PortHad; // what the open returns
    ConnectionState State;
    bool PortOpen;
    bool Opened; // the host was told the port is open
    bool EverythingReleased;
};

void PrintTo(const OpenRow& row, std::ostream* os)
{
    *os << row.Name;
}

class OpenFailureTable : public FakeConnectionTest,
                         public ::testing::WithParamInterface<OpenRow> { };

TEST_P(OpenFailureTable, ReportsTheFaultAndLeavesTheState)
{
    const OpenRow& row = GetParam();
    row.Arrange(*Platform);

    EXPECT_EQ(Conn->Open("COM3", row.Baud), row.PortHad);
    EXPECT_EQ(Host->Faults(), row.Faults);
    EXPECT_EQ(Conn->State(), row.State);
    EXPECT_EQ(Conn->PortOpen(), row.PortOpen);
    EXPECT_EQ(Host->OpenedCount, row.Opened ? 1 : 0);
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
    Conn->Open("COM3", 9600);
    EXPECT_EQ(Conn->State(), ConnectionState::Open);
    Conn->Close();
}

using enum ConnectionFault;

const OpenRow OpenRows[] = {
    {"EventCannotBeCreated",
     [](FakePlatform& p) { p.FailCall(FakeOp::NewEvent); },
     9600,
     {EventUnavailable},
     false,
     ConnectionState::Closed,
     false,
     false,
     true},
    {"PortCannotBeOpened",
     [](FakePlatform& p) { p.FailCall(FakeOp::OpenPort); },
     9600,
     {PortUnavailable},
     false,
     ConnectionState::Closed,
     false,
     false,
     true},
    {"NoBaudRateOnlyTriesThePort",
     [](FakePlatform&) {},
     std::nullopt,
     {},
     true,
     ConnectionState::Closed,
     false,
     false,
     true},
    {"NoBaudRateAndNoPort",
     [](FakePlatform& p) { p.FailCall(FakeOp::OpenPort); },
     std::nullopt,
     {PortUnavailable},
     false,
     ConnectionState::Closed,
     false,
     false,
     true},
    {"BaudRefused",
     [](FakePlatform& p) { p.FailAlways(FakeOp::SetCommState); },
     9600,
     {},
     true,
     ConnectionState::Closed,
     false,
     false,
     true},
    {"MaskRefusedAfterConfigured",
     [](FakePlatform& p) { p.FailAlways(FakeOp::SetCommMask); },
     9600,
     {EventMaskRefused},
     true,
     ConnectionState::ConfiguredWithoutEventMask,
     true,
     false,
     false},
    {"MaskRefusedAfterBaudRefused",
     [](FakePlatform& p) {
         p.FailAlways(FakeOp::SetCommState);
         p.FailAlways(FakeOp::SetCommMask);
     },
     9600,
     {EventMaskRefused},
     true,
     ConnectionState::Closed,
     false,
     false,
     true},
    {"NoReaderThread",
     [](FakePlatform& p) { p.FailCall(FakeOp::StartThread); },
     9600,
     {NoReaderThread},
     true,
     ConnectionState::OpenWithoutReader,
     true,
     true,
     false},
    {"Success", [](FakePlatform&) {}, 9600, {}, true, ConnectionState::Open, true, true, false},
};

INSTANTIATE_TEST_SUITE_P(Open, OpenFailureTable, ::testing::ValuesIn(OpenRows),
                         [](const auto& rowInfo) { return std::string(rowInfo.param.Name); });

// --- Successful open ----------------------------------------------------------------------

TEST_F(FakeConnectionTest, OpenConfiguresEightNoneOneAndKeepsTheRest)
{
    Conn->Open("COM3", 9600);
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
    Conn->Open("COM3", 9600);
    ASSERT_EQ(Conn->State(), ConnectionState::ConfiguredWithoutEventMask);
    auto first = Platform->LastPort();

    // The same port again: only possible because the first connection let go of it.
    Conn->Open("COM3", 9600);
    EXPECT_TRUE(first->IsReleased());
    EXPECT_NE(Platform->LastPort(), first);
    EXPECT_EQ(Conn->State(), ConnectionState::Open);
}

TEST_F(FakeConnectionTest, CloseBeforeTheReaderStartedStillEndsIt)
{
    Platform->HoldThreads(true);
    Conn->Open("COM3", 9600);
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
    Conn->Open("COM3", 9600);
    Conn->Close(); // cannot wait for a thread that has not run yet
    EXPECT_EQ(Platform->ThreadsJoined(), 0);
    Platform->ReleaseHeldThreads();
    Conn.reset();
    EXPECT_EQ(Platform->ThreadsRunning(), 0);
    EXPECT_EQ(Platform->ThreadsJoined(), 1);
}

// --- The system's reason beside the message -------------------------------------------------

TEST_F(FakeConnectionTest, AFaultCarriesTheReasonOfItsOwnFailedCall)
{
    Platform->SetFailureError(
        FakeOp::OpenPort, {{}, "open", 13, "Permission denied: add the user to the dialout group"});
    Platform->FailCall(FakeOp::OpenPort);
    Conn->Open("ttyUSB0", 9600);
    ASSERT_EQ(Host->Faults(), std::vector<ConnectionFault>{ConnectionFault::PortUnavailable});
    ASSERT_TRUE(Host->Reports()[0].Reason);
    EXPECT_EQ(Describe(*Host->Reports()[0].Reason),
              "ttyUSB0: open: Permission denied: add the user to the dialout group");

    // A failure without a reason of its own carries none, not an earlier call's.
    Platform->FailCall(FakeOp::SetCommMask);
    Conn->Open("ttyUSB0", 9600);
    EXPECT_EQ(Host->Reports().at(1).Fault, ConnectionFault::EventMaskRefused);
    EXPECT_FALSE(Host->Reports()[1].Reason);

    // A failed write's reason, not that of the clean-up after it.
    Conn->Close();
    OpenAndWait();
    Platform->SetFailureError(FakeOp::StartWrite, {{}, "write", 5, "Input/output error"});
    Platform->SetFailureError(FakeOp::ClearCommError, {{}, "ioctl(FIONREAD)", 5, "gone"});
    Platform->FailCall(FakeOp::StartWrite);
    Platform->FailCall(FakeOp::ClearCommError);
    Conn->Send(std::vector<std::uint8_t>{0xA5, 0x45, 0xEA});
    ASSERT_EQ(Host->Reports().size(), 3u);
    EXPECT_EQ(Host->Reports()[2].Fault, ConnectionFault::WriteFailed);
    ASSERT_TRUE(Host->Reports()[2].Reason);
    EXPECT_EQ(Host->Reports()[2].Reason->Call, "write");
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
