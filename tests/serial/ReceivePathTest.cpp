#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "FakeFixture.h"

namespace rv::test {
namespace {

// --- Failure rows of the receive path -----------------------------------------------------

struct ReceiveRow {
    const char* Name;
    // Sets up the failure after the open; bytes then arrive and are handled.
    std::function<void(FakePlatform&, FakePort&, RecordingHost&)> Arrange;
    std::vector<ConnectionFault> Faults;
    bool FaultOnReaderThread;
    ConnectionState State;
    bool ReaderEnds; // the reader has ended before close
    bool ReceivesAfterward; // a later arrival still reaches ProcessReceivedBytes
};

void PrintTo(const ReceiveRow& row, std::ostream* os)
{
    *os << row.Name;
}

class ReceiveFailureTable : public FakeConnectionTest,
                            public ::testing::WithParamInterface<ReceiveRow> { };

TEST_P(ReceiveFailureTable, ReportsTheFaultAndLeavesTheState)
{
    const ReceiveRow& row = GetParam();
    // The reader's own event is the second one made (the first is ReadDoneEvent).
    const bool readerEventFails = std::string(row.Name) == "ReaderEventCannotBeCreated";
    if (readerEventFails)
        Platform->FailCall(FakeOp::NewEvent, 2);
    Conn->Open("COM3", 9600);
    auto port = Platform->LastPort();
    ASSERT_NE(port, nullptr);
    if (!readerEventFails) {
        ASSERT_TRUE(port->WaitForWaiter(2s));
    }
    row.Arrange(*Platform, *port, *Host);

    port->Inject({0x5A, 0x5A, 0x01});
    Host->WaitForPosted(1, 300ms);
    Host->Pump(*Conn);
    ASSERT_TRUE(Host->WaitForFaults(row.Faults.size(), 2s));
    if (row.Faults.empty()) {
        EXPECT_EQ(Host->Received, (std::vector<std::uint8_t>{0x5A, 0x5A, 0x01}));
    }

    EXPECT_EQ(Host->Faults(), row.Faults);
    for (const auto& r : Host->Reports())
        EXPECT_EQ(r.OnWindowThread, !row.FaultOnReaderThread);
    EXPECT_EQ(Conn->State(), row.State);
    EXPECT_EQ(Conn->PortOpen(), true);
    if (row.ReaderEnds) {
        EXPECT_TRUE(Platform->WaitThreadsEnded(2s));
    }

    if (row.ReceivesAfterward) {
        Host->Received.clear();
        port->Inject({0x03});
        EXPECT_TRUE(Host->PumpUntilReceived(*Conn, 1, 2s));
        EXPECT_EQ(Host->Received, std::vector<std::uint8_t>{0x03});
    }
    ExpectNoMisuse();

    // Close never hangs and releases what is left, each once.
    Conn->Close();
    EXPECT_EQ(Conn->State(), ConnectionState::Closed);
    EXPECT_TRUE(Platform->WaitThreadsEnded(2s));
    EXPECT_TRUE(AllReleased());
}

const ReceiveRow ReceiveRows[] = {
    {"ReaderEventCannotBeCreated",
     [](FakePlatform&, FakePort&, RecordingHost&) {},
     {ConnectionFault::ReaderEventUnavailable},
     true,
     ConnectionState::Open,
     true,
     false},
    {"PostFails",
     [](FakePlatform&, FakePort&, RecordingHost& h) { h.FailPosts = true; },
     {ConnectionFault::NotifyFailed},
     true,
     ConnectionState::Open,
     true,
     false},
    {"ClearCommErrorFails",
     [](FakePlatform& p, FakePort&, RecordingHost&) { p.FailCall(FakeOp::ClearCommError); },
     {ConnectionFault::ClearErrorFailed},
     false,
     ConnectionState::Open,
     false,
     true},
    {"ReadFails",
     [](FakePlatform& p, FakePort&, RecordingHost&) { p.FailCall(FakeOp::Read); },
     {ConnectionFault::ReadFailed},
     false,
     ConnectionState::Broken,
     true,
     false},
    {"WaitFailsAtOnce",
     [](FakePlatform& p, FakePort& port, RecordingHost&) {
         // Let the pending wait end (mask change), then make the next one fail at once.
         p.FailCall(FakeOp::WaitCommEvent);
         port.SetCommMask(EvRxChar);
     },
     {},
     false,
     ConnectionState::Open,
     false,
     true},
    {"LineErrorsAreIgnored",
     [](FakePlatform&, FakePort& port, RecordingHost&) { port.SetLineErrors(0x0002 | 0x0008); },
     {},
     false,
     ConnectionState::Open,
     false,
     true},
    {"PortVanishes",
     [](FakePlatform&, FakePort& port, RecordingHost&) { port.Hangup(); },
     {ConnectionFault::ReadFailed},
     false,
     ConnectionState::Broken,
     true,
     false},
};

INSTANTIATE_TEST_SUITE_P(Receive, ReceiveFailureTable, ::testing::ValuesIn(ReceiveRows),
                         [](const auto& rowInfo) { return std::string(rowInfo.param.Name); });

// --- Hand-off -----------------------------------------------------------------------------

TEST_F(FakeConnectionTest, BytesReachTheWindowInOrderAcrossReads)
{
    auto port = OpenAndWait();
    Arrive(*port, {0x5A, 0x5A, 0x01});
    Host->Pump(*Conn);
    port->Inject({0x03, 0x04, 0xD2, 0x03, 0x91});
    ASSERT_TRUE(Host->PumpUntilReceived(*Conn, 8, 2s));
    EXPECT_EQ(Host->Received,
              (std::vector<std::uint8_t>{0x5A, 0x5A, 0x01, 0x03, 0x04, 0xD2, 0x03, 0x91}));
    EXPECT_EQ(Host->ReadSizes, (std::vector<std::size_t>{3, 5}));
}

TEST_F(FakeConnectionTest, AtMostOneNotificationIsOutstanding)
{
    auto port = OpenAndWait();
    Arrive(*port, {1});
    for (std::uint8_t b = 2; b < 20; ++b)
        port->Inject({b});
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(Host->PostedCount(), 1u);

    // The first handling takes everything queued so far.
    Host->Pump(*Conn);
    EXPECT_EQ(Host->ReadSizes, std::vector<std::size_t>{19});
}

TEST_F(FakeConnectionTest, NotificationWithNothingQueuedSkipsTheWindowButCompletes)
{
    auto port = OpenAndWait();
    Arrive(*port, {1});
    port->Inject({2}); // a second arrival while the first notification is outstanding
    std::this_thread::sleep_for(20ms);
    Conn->OnCommNotify(*Host->TakePosted()); // reads both bytes
    ASSERT_TRUE(Host->WaitForPosted(1, 2s)); // the reader posts again for the second arrival
    Conn->OnCommNotify(*Host->TakePosted());
    EXPECT_EQ(Host->ReadSizes, std::vector<std::size_t>{2});
    EXPECT_TRUE(Link()->ReadDoneEvent->IsSignalled());
}

TEST_F(FakeConnectionTest, MoreThanOneBufferIsCollectedByFollowUpNotifications)
{
    auto port = OpenAndWait();
    std::vector<std::uint8_t> bytes(SerialConnection::ReceiveBufferSize + 100);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
    Arrive(*port, bytes);

    ASSERT_EQ(Host->Pump(*Conn), 2); // the handler queued its own follow-up
    EXPECT_EQ(Host->ReadSizes,
              (std::vector<std::size_t>{SerialConnection::ReceiveBufferSize, 100}));
    EXPECT_EQ(Host->Received, bytes);
    EXPECT_TRUE(Link()->ReadDoneEvent->IsSignalled());
}

TEST_F(FakeConnectionTest, AnErrorInTheWindowDoesNotStopReceiving)
{
    auto port = OpenAndWait();
    Host->ThrowInProcess = true;
    Arrive(*port, {1});
    EXPECT_THROW(Host->Pump(*Conn), std::runtime_error);
    EXPECT_TRUE(Link()->ReadDoneEvent->IsSignalled());

    Host->ThrowInProcess = false;
    port->Inject({2});
    EXPECT_TRUE(Host->PumpUntilReceived(*Conn, 2, 2s));
}

TEST_F(FakeConnectionTest, ClearCommErrorFailurePurgesAndShowsOneBoxAtATime)
{
    auto port = OpenAndWait();
    Platform->FailAlways(FakeOp::ClearCommError);
    int boxes = 0;
    Host->OnFault = [&](ConnectionFault, const std::optional<SystemError>&) {
        if (++boxes > 1)
            return;
        // While the box is open more bytes come; the reader must not post again meanwhile.
        port->Inject({7});
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(Host->PostedCount(), 0u);
    };
    Arrive(*port, {1});
    Conn->OnCommNotify(*Host->TakePosted());
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(port->Purges(), std::vector<std::uint32_t>{PurgeRxAbort | PurgeRxClear});
    Platform->FailAlways(FakeOp::ClearCommError, false);
    // The hand-off was completed after the box, so the reader reports the latest arrival.
    EXPECT_TRUE(Host->WaitForPosted(1, 2s));
}

TEST_F(FakeConnectionTest, CloseWhileTheClearCommErrorBoxIsOpen)
{
    auto port = OpenAndWait();
    Platform->FailCall(FakeOp::ClearCommError);
    Host->OnFault = [&](ConnectionFault, const std::optional<SystemError>&) { Conn->Close(); };
    Arrive(*port, {1});
    Host->Pump(*Conn);
    EXPECT_EQ(Conn->State(), ConnectionState::Closed);
    EXPECT_TRUE(port->Purges() == std::vector<std::uint32_t>{15}); // the close's, nothing after
}

TEST_F(FakeConnectionTest, CloseAndReopenWhileTheReadFailureBoxIsOpen)
{
    auto first = OpenAndWait();
    Platform->FailCall(FakeOp::Read);
    Host->OnFault = [&](ConnectionFault, const std::optional<SystemError>&) {
        Host->OnFault = nullptr;
        Conn->Close();
        Conn->Open("COM3", 9600);
    };
    Arrive(*first, {1});
    Host->Pump(*Conn);
    EXPECT_EQ(Host->Faults(), std::vector<ConnectionFault>{ConnectionFault::ReadFailed});
    // The failure released its own connection only.
    EXPECT_EQ(Conn->State(), ConnectionState::Open);
    auto second = Platform->LastPort();
    ASSERT_NE(second, first);
    EXPECT_TRUE(second->WaitForWaiter(2s));
    second->Inject({4});
    EXPECT_TRUE(Host->PumpUntilReceived(*Conn, 1, 2s));
}

TEST_F(FakeConnectionTest, VanishedPortIsReportedOnceAndTheReaderEnds)
{
    auto port = OpenAndWait();
    port->Hangup();
    ASSERT_TRUE(Host->WaitForPosted(1, 2s));
    Host->Pump(*Conn);
    EXPECT_TRUE(Platform->WaitThreadsEnded(2s));
    std::this_thread::sleep_for(20ms);
    Host->Pump(*Conn);
    EXPECT_EQ(Host->Faults(), std::vector<ConnectionFault>{ConnectionFault::ReadFailed});
    EXPECT_EQ(Conn->State(), ConnectionState::Broken);

    // Sends in this state are told the port is gone, and touch nothing.
    Conn->Send(std::vector<std::uint8_t>{0xA5, 0x45, 0xEA});
    EXPECT_EQ(Host->Faults(), (std::vector<ConnectionFault>{ConnectionFault::ReadFailed,
                                                            ConnectionFault::WriteFailed}));
}

TEST_F(FakeConnectionTest, ReaderStopsWhenAWriteFailureReleasedThePort)
{
    auto port = OpenAndWait();
    port->SetWriteBehaviour(FakeWrite::PendThenFail);
    Conn->Send(std::vector<std::uint8_t>{0xA5, 0x45, 0xEA});
    ASSERT_EQ(Conn->State(), ConnectionState::Broken);
    EXPECT_TRUE(Link()->ReaderActive.load()); // the completion failure does not tell it
    EXPECT_TRUE(Platform->WaitThreadsEnded(2s)) << "reader kept passing over a released port";
}

TEST_F(FakeConnectionTest, ReaderDirectlyEndsWhenReadDoneEventIsReleasedUnderIt)
{
    // The reader waits for the hand-off while the failure releases the event.
    auto port = OpenAndWait();
    Arrive(*port, {1});
    port->Inject({2});
    std::this_thread::sleep_for(20ms); // the reader now waits for ReadDoneEvent
    Platform->FailCall(FakeOp::Read);
    Host->Pump(*Conn);
    EXPECT_TRUE(Platform->WaitThreadsEnded(2s));
}

} // namespace
} // namespace rv::test
