#include <functional>
#include <string>
#include <vector>

#include "FakeFixture.h"
#include "rangeview/protocol/CommandText.h"

namespace rv::test {
namespace {

const std::vector<std::uint8_t> Query{0xA5, 0x45, 0xEA};

// --- Rows of the send --------------------------------------------------------------------

struct SendRow {
    const char* Name;
    bool Open;
    std::function<void(FakePlatform&, FakePort&)> Arrange;
    std::vector<std::uint8_t> Bytes;
    std::vector<ConnectionFault> Faults;
    std::int32_t TxCount;
    std::vector<std::uint8_t> Written;
    ConnectionState State;
    bool ReaderActive;
    bool ReadDoneReleased;
};

void PrintTo(const SendRow& row, std::ostream* os)
{
    *os << row.Name;
}

class SendTable : public FakeConnectionTest, public ::testing::WithParamInterface<SendRow> { };

TEST_P(SendTable, ReportsTheFaultAndLeavesTheState)
{
    const SendRow& row = GetParam();
    std::shared_ptr<FakePort> port;
    if (row.Open) {
        port = OpenAndWait();
        ASSERT_NE(port, nullptr);
        row.Arrange(*Platform, *port);
    }
    Conn->Send(row.Bytes);

    EXPECT_EQ(Host->Faults(), row.Faults);
    EXPECT_EQ(Conn->TxCount(), row.TxCount);
    EXPECT_EQ(Conn->State(), row.State);
    if (port) {
        EXPECT_EQ(port->Written(), row.Written);
        EXPECT_EQ(Link()->ReaderActive.load(), row.ReaderActive);
        EXPECT_EQ(Link()->ReadDoneEvent->IsReleased(), row.ReadDoneReleased);
    }
    // Events after ReadDoneEvent and the reader's own are the writes'; each ends released.
    const auto events = Platform->Events();
    for (std::size_t i = 2; i < events.size(); ++i)
        EXPECT_TRUE(events[i]->IsReleased()) << "write event " << i;
    ExpectNoMisuse();

    // A second send in the state left: Broken keeps saying so without touching anything.
    if (row.State == ConnectionState::Broken) {
        Conn->Send(row.Bytes);
        EXPECT_EQ(Host->Faults().back(), ConnectionFault::WriteFailed);
        EXPECT_EQ(Conn->TxCount(), row.TxCount + 3);
        ExpectNoMisuse();
    }
    Conn->Close();
    EXPECT_TRUE(Platform->WaitThreadsEnded(2s));
    EXPECT_TRUE(AllReleased());
}

const auto NoArrange = [](FakePlatform&, FakePort&) {};

const SendRow SendRows[] = {
    {"NoPortOpen",
     false,
     NoArrange,
     Query,
     {ConnectionFault::NotOpen},
     0,
     {},
     ConnectionState::Closed,
     false,
     false},
    {"NoBytes", true, NoArrange, {}, {}, 0, {}, ConnectionState::Open, true, false},
    {"CompletesAtOnce", true, NoArrange, Query, {}, 3, Query, ConnectionState::Open, true, false},
    {"CompletesLater",
     true,
     [](FakePlatform&, FakePort& p) { p.SetWriteBehaviour(FakeWrite::PendThenComplete); },
     Query,
     {},
     3,
     Query,
     ConnectionState::Open,
     true,
     false},
    {"WriteEventCannotBeCreated",
     true,
     [](FakePlatform& p, FakePort&) { p.FailCall(FakeOp::NewEvent); },
     Query,
     {},
     3,
     Query,
     ConnectionState::Open,
     true,
     false},
    {"CompletionFails",
     true,
     [](FakePlatform&, FakePort& p) { p.SetWriteBehaviour(FakeWrite::PendThenFail); },
     Query,
     {ConnectionFault::WriteFailed},
     3,
     {},
     ConnectionState::Broken,
     true,
     false},
    {"RefusedAtOnce",
     true,
     [](FakePlatform& p, FakePort&) { p.FailCall(FakeOp::StartWrite); },
     Query,
     {ConnectionFault::WriteFailed},
     3,
     {},
     ConnectionState::Broken,
     false,
     true},
};

INSTANTIATE_TEST_SUITE_P(Send, SendTable, ::testing::ValuesIn(SendRows),
                         [](const auto& rowInfo) { return std::string(rowInfo.param.Name); });

// --- Details of the send -----------------------------------------------------------------

TEST_F(FakeConnectionTest, LabelIsRewrittenAlsoWhenNothingIsSent)
{
    OpenAndWait();
    Conn->Send(Query);
    Conn->Send({});
    EXPECT_EQ(Host->TxCounts, (std::vector<std::int32_t>{3, 3}));
    EXPECT_TRUE(Host->Faults().empty());
}

TEST_F(FakeConnectionTest, FailedSendsStayCounted)
{
    auto port = OpenAndWait();
    Platform->FailCall(FakeOp::StartWrite);
    Conn->Send(Query);
    EXPECT_EQ(Conn->TxCount(), 3);
    Conn->ResetTxCount();
    EXPECT_EQ(Conn->TxCount(), 0);
    EXPECT_EQ(Host->TxCounts.back(), 0);
}

TEST_F(FakeConnectionTest, WriteWaitIsBoundedByByteCountAndBaud)
{
    // Never shorter than the bytes take on the line (ten bits each), longer for more bytes or a
    // slower line, and for a command of a few bytes short enough not to hang the window.
    for (const std::uint32_t baud : {1200u, 9600u, 115200u}) {
        auto fewer = 0ms;
        for (const std::size_t n : {std::size_t{0}, std::size_t{3}, TransmitBufferSize}) {
            const auto bound = SerialConnection::WriteBound(n, baud);
            EXPECT_GE(bound.count() * baud, static_cast<std::int64_t>(n) * 10'000) << n;
            EXPECT_GE(bound, fewer) << n << " bytes at " << baud;
            fewer = bound;
        }
        EXPECT_LE(SerialConnection::WriteBound(3, baud), 1s);
        EXPECT_GE(SerialConnection::WriteBound(3, baud), SerialConnection::WriteBound(3, 2 * baud));
    }
    EXPECT_GT(SerialConnection::WriteBound(3, 0), 0ms); // a port left at baud 0
    auto port = OpenAndWait();
    port->SetWriteBehaviour(FakeWrite::PendThenComplete);
    Conn->Send(Query);
    EXPECT_EQ(port->LastWriteBound(), SerialConnection::WriteBound(3, 9600));
}

TEST_F(FakeConnectionTest, CloseWhileTheSendErrorIsShown)
{
    auto port = OpenAndWait();
    Platform->FailCall(FakeOp::StartWrite);
    Host->OnFault = [&](ConnectionFault, const std::optional<SystemError>&) { Conn->Close(); };
    Conn->Send(Query);
    EXPECT_EQ(Conn->State(), ConnectionState::Closed);
    EXPECT_TRUE(Platform->WaitThreadsEnded(2s));
    EXPECT_TRUE(AllReleased());
}

TEST_F(FakeConnectionTest, CloseAndReopenWhileTheSendErrorIsShown)
{
    auto first = OpenAndWait();
    first->SetWriteBehaviour(FakeWrite::PendThenFail);
    Host->OnFault = [&](ConnectionFault, const std::optional<SystemError>&) {
        Host->OnFault = nullptr;
        Conn->Close();
        Conn->Open("COM3", 9600);
    };
    Conn->Send(Query);
    // The failure released the first connection's objects only.
    EXPECT_EQ(Conn->State(), ConnectionState::Open);
    auto second = Platform->LastPort();
    ASSERT_NE(second, first);
    EXPECT_FALSE(second->IsReleased());
    Conn->Send(Query);
    EXPECT_EQ(second->Written(), Query);
}

TEST_F(FakeConnectionTest, SendsWorkInTheOpenStatesWithoutAReader)
{
    // Both states count as open: the port is configured and held, only receiving is missing.
    struct Case {
        FakeOp Failing;
        ConnectionState State;
    };
    for (const Case c : {Case{FakeOp::SetCommMask, ConnectionState::ConfiguredWithoutEventMask},
                         Case{FakeOp::StartThread, ConnectionState::OpenWithoutReader}}) {
        SCOPED_TRACE(static_cast<int>(c.State));
        Platform->FailCall(c.Failing);
        Conn->Open("COM3", 9600);
        ASSERT_EQ(Conn->State(), c.State);
        const std::int32_t before = Conn->TxCount();
        const auto faults = Host->Faults().size();
        Conn->Send(Query);
        EXPECT_EQ(Host->Faults().size(), faults);
        EXPECT_EQ(Platform->LastPort()->Written(), Query);
        EXPECT_EQ(Conn->TxCount(), before + 3);
        Conn->Close();
        EXPECT_EQ(Conn->State(), ConnectionState::Closed);
        EXPECT_TRUE(AllReleased());
    }
    EXPECT_EQ(Platform->ThreadsStarted(), 0);
}

// --- Auto-send ---------------------------------------------------------------------------

TEST_F(FakeConnectionTest, CloseStopsAutoSendButLeavesItSwitchedOn)
{
    OpenAndWait();
    Conn->StartAutoSend(50);
    Conn->Close();
    EXPECT_FALSE(Host->TimerEnabled);
    EXPECT_TRUE(Host->AutoSendOn);
    EXPECT_EQ(Conn->AutoSend(), AutoSendState::Halted);
    Conn->StopAutoSend();
    EXPECT_FALSE(Host->AutoSendOn);
    Conn->StartAutoSend(50);
    EXPECT_TRUE(Host->TimerEnabled);
}

} // namespace
} // namespace rv::test
