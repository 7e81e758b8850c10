#include <functional>
#include <string>
#include <vector>

#include "FakeFixture.h"
#include "rangeview/common/IntegerText.h"

namespace rv::test {
namespace {

const std::vector<std::uint8_t> Query{0xA5, 0x45, 0xEA};

// --- Rows of the send --------------------------------------------------------------------

struct SendRow {
    const char* Name;
    bool Open;
    std::function<void(FakePlatform&, FakePort&)> Arrange;
    std::string Text;
    std::vector<std::string> Messages;
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

TEST_P(SendTable, ShowsTheMessageAndLeavesTheState)
{
    const SendRow& row = GetParam();
    std::shared_ptr<FakePort> port;
    if (row.Open) {
        port = OpenAndWait();
        ASSERT_NE(port, nullptr);
        row.Arrange(*Platform, *port);
    }
    Conn->Send(row.Text);

    EXPECT_EQ(Host->ShortMessages, row.Messages);
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
        Conn->Send(row.Text);
        EXPECT_EQ(Host->ShortMessages.back(), "发送数据出错");
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
     "A5 45 EA",
     {"未打开串口"},
     0,
     {},
     ConnectionState::Closed,
     false,
     false},
    {"EmptyText", true, NoArrange, "", {"缓冲区为空"}, 0, {}, ConnectionState::Open, true, false},
    {"TextWithoutHexDigits", true, NoArrange, "xyz", {}, 0, {}, ConnectionState::Open, true, false},
    {"CompletesAtOnce",
     true,
     NoArrange,
     "A5 45 EA",
     {},
     3,
     Query,
     ConnectionState::Open,
     true,
     false},
    {"CompletesLater",
     true,
     [](FakePlatform&, FakePort& p) { p.SetWriteBehaviour(FakeWrite::PendThenComplete); },
     "A5 45 EA",
     {},
     3,
     Query,
     ConnectionState::Open,
     true,
     false},
    {"WriteEventCannotBeCreated",
     true,
     [](FakePlatform& p, FakePort&) { p.FailCall(FakeOp::NewEvent); },
     "A5 45 EA",
     {},
     3,
     Query,
     ConnectionState::Open,
     true,
     false},
    {"CompletionFails",
     true,
     [](FakePlatform&, FakePort& p) { p.SetWriteBehaviour(FakeWrite::PendThenFail); },
     "A5 45 EA",
     {"发送数据出错"},
     3,
     {},
     ConnectionState::Broken,
     true,
     false},
    {"RefusedAtOnce",
     true,
     [](FakePlatform& p, FakePort&) { p.FailCall(FakeOp::StartWrite); },
     "A5 45 EA",
     {"发送数据出错"},
     3,
     {},
     ConnectionState::Broken,
     false,
     true},
    {"TooLongForTheBuffer",
     true,
     NoArrange,
     std::string(2 * TransmitBufferSize + 2, 'F'),
     {"缓冲区溢出"},
     0,
     {},
     ConnectionState::Open,
     true,
     false},
    {"ExactlyTheBuffer",
     true,
     NoArrange,
     std::string(2 * TransmitBufferSize, 'F'),
     {},
     static_cast<std::int32_t>(TransmitBufferSize),
     std::vector<std::uint8_t>(TransmitBufferSize, 0xFF),
     ConnectionState::Open,
     true,
     false},
};

INSTANTIATE_TEST_SUITE_P(Send, SendTable, ::testing::ValuesIn(SendRows),
                         [](const auto& rowInfo) { return std::string(rowInfo.param.Name); });

// --- Details of the send -----------------------------------------------------------------

TEST_F(FakeConnectionTest, LabelIsRewrittenAlsoWhenNothingIsSent)
{
    OpenAndWait();
    Conn->Send("A5 45 EA");
    Conn->Send("xyz");
    EXPECT_EQ(Host->TxCounts, (std::vector<std::int32_t>{3, 3}));
    EXPECT_TRUE(Host->ShortMessages.empty());
}

TEST_F(FakeConnectionTest, FailedSendsStayCounted)
{
    auto port = OpenAndWait();
    Platform->FailCall(FakeOp::StartWrite);
    Conn->Send("A5 45 EA");
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
    Conn->Send("A5 45 EA");
    EXPECT_EQ(port->LastWriteBound(), SerialConnection::WriteBound(3, 9600));
}

TEST_F(FakeConnectionTest, CloseWhileTheSendErrorIsShown)
{
    auto port = OpenAndWait();
    Platform->FailCall(FakeOp::StartWrite);
    Host->OnShortMessage = [&](std::string_view) { Conn->Close(); };
    Conn->Send("A5 45 EA");
    EXPECT_EQ(Conn->State(), ConnectionState::Closed);
    EXPECT_TRUE(Platform->WaitThreadsEnded(2s));
    EXPECT_TRUE(AllReleased());
}

TEST_F(FakeConnectionTest, CloseAndReopenWhileTheSendErrorIsShown)
{
    auto first = OpenAndWait();
    first->SetWriteBehaviour(FakeWrite::PendThenFail);
    Host->OnShortMessage = [&](std::string_view) {
        Host->OnShortMessage = nullptr;
        Conn->Close();
        Conn->Open("COM3", "9600");
    };
    Conn->Send("A5 45 EA");
    // The failure released the first connection's objects only.
    EXPECT_EQ(Conn->State(), ConnectionState::Open);
    auto second = Platform->LastPort();
    ASSERT_NE(second, first);
    EXPECT_FALSE(second->IsReleased());
    Conn->Send("A5 45 EA");
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
        Host->ShortMessages.clear();
        Platform->FailCall(c.Failing);
        Conn->Open("COM3", "9600");
        ASSERT_EQ(Conn->State(), c.State);
        const std::int32_t before = Conn->TxCount();
        Conn->Send("A5 45 EA");
        EXPECT_TRUE(Host->ShortMessages.empty());
        EXPECT_EQ(Platform->LastPort()->Written(), Query);
        EXPECT_EQ(Conn->TxCount(), before + 3);
        Conn->Close();
        EXPECT_EQ(Conn->State(), ConnectionState::Closed);
        EXPECT_TRUE(AllReleased());
    }
    EXPECT_EQ(Platform->ThreadsStarted(), 0);
}

// --- Auto-send ---------------------------------------------------------------------------

TEST_F(FakeConnectionTest, AutoSendPeriods)
{
    struct Case {
        const char* Text;
        bool Throws;
        bool Enabled;
        std::uint32_t Period;
    };
    const Case cases[] = {
        {"50", false, true, 50},
        {"abc", true, false, 0},
        {"0", false, true, 0}, // on, but a zero period never ticks
        {"-1", false, true, 0xFFFFFFFFu},
        {"$10", false, true, 16},
        {"", true, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        Host->TimerEnabled = false;
        Host->TimerPeriod = 0;
        if (c.Throws) {
            EXPECT_THROW(Conn->StartAutoSend(c.Text), ConvertError);
        } else {
            Conn->StartAutoSend(c.Text);
        }
        EXPECT_TRUE(Host->AutoSendOn);
        EXPECT_EQ(Conn->AutoSend(), c.Throws ? AutoSendState::Halted : AutoSendState::On);
        EXPECT_EQ(Host->TimerEnabled, c.Enabled);
        EXPECT_EQ(Host->TimerPeriod, c.Period);
        Conn->StopAutoSend(); // any state but off returns to off
        EXPECT_FALSE(Host->AutoSendOn);
        EXPECT_FALSE(Host->TimerEnabled);
    }
}

TEST_F(FakeConnectionTest, CloseStopsAutoSendButLeavesItSwitchedOn)
{
    OpenAndWait();
    Conn->StartAutoSend("50");
    Conn->Close();
    EXPECT_FALSE(Host->TimerEnabled);
    EXPECT_TRUE(Host->AutoSendOn);
    EXPECT_EQ(Conn->AutoSend(), AutoSendState::Halted);
    Conn->StopAutoSend();
    EXPECT_FALSE(Host->AutoSendOn);
    Conn->StartAutoSend("50");
    EXPECT_TRUE(Host->TimerEnabled);
}

TEST_F(FakeConnectionTest, TicksSendLikeTheButton)
{
    auto port = OpenAndWait();
    Conn->AutoSendTick("A5 15 BA");
    Conn->AutoSendTick("A5 15 BA");
    EXPECT_EQ(Conn->TxCount(), 6);
    EXPECT_EQ(port->Written(), (std::vector<std::uint8_t>{0xA5, 0x15, 0xBA, 0xA5, 0x15, 0xBA}));
}

// Auto-send on: what the window shows at the moment the message appears.
struct AtMessage {
    bool TimerEnabled = true;
    bool AutoSendOn = true;
};

TEST_F(FakeConnectionTest, FailingTickEndsAutoSendBeforeItsOneMessage)
{
    Conn->StartAutoSend("50");
    ASSERT_TRUE(Host->TimerEnabled);
    // With no port every tick fails; ticks still queued while the message is open are skipped.
    std::vector<AtMessage> seen;
    Host->OnShortMessage = [&](std::string_view) {
        seen.push_back({Host->TimerEnabled, Host->AutoSendOn});
        for (int i = 0; i < 5; ++i)
            Conn->AutoSendTick("A5 45 EA");
    };
    Conn->AutoSendTick("A5 45 EA");
    EXPECT_EQ(Host->ShortMessages, std::vector<std::string>{"未打开串口"});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].TimerEnabled);
    EXPECT_FALSE(seen[0].AutoSendOn);

    // It starts again as usual.
    Host->OnShortMessage = nullptr;
    Conn->StartAutoSend("50");
    EXPECT_TRUE(Host->TimerEnabled);
    EXPECT_TRUE(Host->AutoSendOn);
}

TEST_F(FakeConnectionTest, FailingTickOnABrokenConnectionEndsAutoSend)
{
    auto port = OpenAndWait();
    Conn->StartAutoSend("50");
    Platform->FailCall(FakeOp::StartWrite);
    std::vector<AtMessage> seen;
    Host->OnShortMessage = [&](std::string_view) {
        seen.push_back({Host->TimerEnabled, Host->AutoSendOn});
        for (int i = 0; i < 3; ++i)
            Conn->AutoSendTick("A5 45 EA");
    };
    Conn->AutoSendTick("A5 45 EA");
    EXPECT_EQ(Host->ShortMessages, std::vector<std::string>{"发送数据出错"});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].TimerEnabled);
    EXPECT_FALSE(seen[0].AutoSendOn);
    EXPECT_EQ(Conn->TxCount(), 3);
}

TEST_F(FakeConnectionTest, FailingSendButtonLeavesAutoSendRunning)
{
    Conn->StartAutoSend("50");
    Conn->Send("A5 45 EA");
    EXPECT_EQ(Host->ShortMessages, std::vector<std::string>{"未打开串口"});
    EXPECT_TRUE(Host->TimerEnabled);
    EXPECT_TRUE(Host->AutoSendOn);
}

} // namespace
} // namespace rv::test
