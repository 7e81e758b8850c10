// The presenter on the fake platform: the user's texts turned into the connection's values, what
// the user is told and when.
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "../serial/FakeFixture.h"
#include "rangeview/common/IntegerText.h"
#include "rangeview/presenter/ConnectionPresenter.h"

namespace rv::test {
namespace {

// The messages as the user sees them, with what auto-send looked like as each appeared.
class RecordingSurface final : public MessageSurface {
public:
    struct Shown {
        MessageKind Kind;
        std::string Text;
        bool TimerEnabled;
        bool AutoSendOn;
    };
    const RecordingHost* Host = nullptr;
    std::vector<Shown> Messages;
    std::function<void()> WhileOpen; // runs "inside" each message, as a nested loop would

    void Show(const LinkMessage& message, const std::optional<SystemError>&) override
    {
        Messages.push_back(
            {message.Kind, std::string(message.Text), Host->TimerEnabled, Host->AutoSendOn});
        if (WhileOpen)
            WhileOpen();
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const auto& m : Messages)
            texts.push_back(m.Text);
        return texts;
    }
};

class PresenterTest : public FakeConnectionTest {
protected:
    RecordingSurface Surface;
    ConnectionPresenter Presenter{*Conn, Surface};

    void SetUp() override
    {
        Surface.Host = Host.get();
        Host->OnFault = [this](ConnectionFault fault, const std::optional<SystemError>& reason) {
            Presenter.Present(fault, reason);
        };
    }
};

TEST_F(PresenterTest, EachFaultIsShownAsItsMessage)
{
    using enum ConnectionFault;
    using enum MessageKind;
    const std::tuple<ConnectionFault, MessageKind, std::string> rows[] = {
        {EventUnavailable, Notice, "CreateEvent Error!"},
        {PortUnavailable, Notice, "串口打开失败!"},
        {EventMaskRefused, Notice, "SetCommMask Error !"},
        {NoReaderThread, OwnedBox, "No CreateThread!"},
        {ReaderEventUnavailable, Notice, "overlapped.Event Create Error !"},
        {NotifyFailed, Notice, "PostMessage Error !"},
        {ClearErrorFailed, Notice, "ClearCommError !"},
        {ReadFailed, Notice, "ReadFile Error!"},
        {NotOpen, ShortMessage, "未打开串口"},
        {WriteFailed, ShortMessage, "发送数据出错"},
    };
    for (const auto& [fault, kind, text] : rows) {
        Surface.Messages.clear();
        Presenter.Present(fault, std::nullopt);
        ASSERT_EQ(Surface.Messages.size(), 1u);
        EXPECT_EQ(Surface.Messages[0].Kind, kind) << text;
        EXPECT_EQ(Surface.Messages[0].Text, text);
    }
}

TEST_F(PresenterTest, BaudTextsAreConvertedAndOthersRefusedOnceThePortIsFound)
{
    Presenter.Open("COM3", "  57600");
    EXPECT_EQ(Platform->LastPort()->Settings().BaudRate, 57600u);
    Conn->Close();
    Presenter.Open("COM3", "$1C200");
    EXPECT_EQ(Platform->LastPort()->Settings().BaudRate, 115200u);
    Conn->Close();
    // A negative number reaches the port as the unsigned value it stands for; the port decides.
    Presenter.Open("COM3", "-1");
    EXPECT_EQ(Platform->LastPort()->Settings().BaudRate, 0xFFFFFFFFu);
    Conn->Close();

    try {
        Presenter.Open("COM3", "abc");
        ADD_FAILURE() << "no conversion error";
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
    EXPECT_EQ(Conn->State(), ConnectionState::Closed);
    EXPECT_TRUE(AllReleased()) << "the port found is let go again";

    // A port that cannot be had is what the user hears of first.
    Platform->FailCall(FakeOp::OpenPort);
    Presenter.Open("COM3", "abc");
    EXPECT_EQ(Surface.Texts(), std::vector<std::string>{"串口打开失败!"});
}

TEST_F(PresenterTest, TheCommandTextIsLookedAtOnlyWithThePortOpen)
{
    Presenter.Send(""); // no port: that comes first
    OpenAndWait();
    Presenter.Send("");
    // Text that converts to more than the buffer holds is refused as a whole.
    Presenter.Send(std::string(2 * TransmitBufferSize + 2, 'F'));
    EXPECT_EQ(Surface.Texts(),
              (std::vector<std::string>{"未打开串口", "缓冲区为空", "缓冲区溢出"}));
    EXPECT_TRUE(Host->TxCounts.empty());
    // No hexadecimal digit: nothing to send, no message, the count shown again.
    Presenter.Send("xyz");
    EXPECT_EQ(Host->TxCounts, std::vector<std::int32_t>{0});

    Presenter.Send(std::string(2 * TransmitBufferSize, 'F'));
    EXPECT_EQ(Platform->LastPort()->Written(), std::vector<std::uint8_t>(TransmitBufferSize, 0xFF));
    EXPECT_EQ(Conn->TxCount(), static_cast<std::int32_t>(TransmitBufferSize));
    EXPECT_EQ(Surface.Messages.size(), 3u);
}

TEST_F(PresenterTest, AutoSendPeriods)
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
            EXPECT_THROW(Presenter.StartAutoSend(c.Text), ConvertError);
        } else {
            Presenter.StartAutoSend(c.Text);
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

TEST_F(PresenterTest, TicksSendLikeTheButton)
{
    auto port = OpenAndWait();
    Presenter.Tick("A5 15 BA");
    Presenter.Tick("A5 15 BA");
    EXPECT_EQ(Conn->TxCount(), 6);
    EXPECT_EQ(port->Written(), (std::vector<std::uint8_t>{0xA5, 0x15, 0xBA, 0xA5, 0x15, 0xBA}));
}

TEST_F(PresenterTest, FailingTickEndsAutoSendBeforeItsOneMessage)
{
    Presenter.StartAutoSend("50");
    ASSERT_TRUE(Host->TimerEnabled);
    // With no port every tick fails; ticks still queued while the message is open are skipped.
    Surface.WhileOpen = [&] {
        for (int i = 0; i < 5; ++i)
            Presenter.Tick("A5 45 EA");
    };
    Presenter.Tick("A5 45 EA");
    EXPECT_EQ(Surface.Texts(), std::vector<std::string>{"未打开串口"});
    EXPECT_FALSE(Surface.Messages[0].TimerEnabled);
    EXPECT_FALSE(Surface.Messages[0].AutoSendOn);

    // It starts again as usual.
    Surface.WhileOpen = nullptr;
    Presenter.StartAutoSend("50");
    EXPECT_TRUE(Host->TimerEnabled);
    EXPECT_TRUE(Host->AutoSendOn);
}

TEST_F(PresenterTest, FailingTickOnABrokenConnectionEndsAutoSend)
{
    auto port = OpenAndWait();
    Presenter.StartAutoSend("50");
    Platform->FailCall(FakeOp::StartWrite);
    Surface.WhileOpen = [&] {
        for (int i = 0; i < 3; ++i)
            Presenter.Tick("A5 45 EA");
    };
    Presenter.Tick("A5 45 EA");
    EXPECT_EQ(Surface.Texts(), std::vector<std::string>{"发送数据出错"});
    EXPECT_FALSE(Surface.Messages[0].TimerEnabled);
    EXPECT_FALSE(Surface.Messages[0].AutoSendOn);
    EXPECT_EQ(Conn->TxCount(), 3);
}

TEST_F(PresenterTest, FailingSendButtonLeavesAutoSendRunning)
{
    Presenter.StartAutoSend("50");
    Presenter.Send("A5 45 EA");
    EXPECT_EQ(Surface.Texts(), std::vector<std::string>{"未打开串口"});
    EXPECT_TRUE(Host->TimerEnabled);
    EXPECT_TRUE(Host->AutoSendOn);
}

} // namespace
} // namespace rv::test
