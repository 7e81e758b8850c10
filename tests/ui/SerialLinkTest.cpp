// The window wired to the serial connection, on the in-memory platform: what the buttons, the
// timer and WM_COMMNOTIFY do to the controls, and the hand-over between reader and window.
#include "EventWait.h"
#include "UiTestSupport.h"

#include "rangeview/serial/FakePlatform.h"
#include "rangeview/ui/SerialLink.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFocusEvent>
#include <QLineEdit>
#include <QKeyEvent>
#include <QThread>

#include <atomic>
#include <climits>
#include <thread>

namespace rv::test {
namespace {

using namespace std::chrono_literals;

class SerialLinkTest : public FormTest {
protected:
    std::shared_ptr<FakePlatform> Platform = std::make_shared<FakePlatform>();

    void SetUp() override
    {
        FormTest::SetUp();
        form->AttachSerialLink(Platform);
    }
    void TearDown() override
    {
        form.reset();
        Platform->ReleaseHeldThreads();
        EXPECT_TRUE(Platform->WaitThreadsEnded(2s)) << "a reader outlived the window";
        for (const auto& port : Platform->Ports()) {
            EXPECT_TRUE(port->IsReleased());
            EXPECT_LE(port->ReleaseCount(), 1);
            EXPECT_EQ(port->UsesAfterRelease(), 0);
        }
    }

    SerialConnection& Conn() { return form->Link()->Connection(); }

    std::shared_ptr<FakePort> Open()
    {
        Parts(form).BitBtn1->click();
        auto port = Platform->LastPort();
        EXPECT_NE(port, nullptr);
        if (port) {
            EXPECT_TRUE(port->WaitForWaiter(2s));
        }
        return port;
    }

    std::vector<QString> Texts(CaptureSink::Kind kind) const
    {
        std::vector<QString> texts;
        for (const auto& m : sink.Messages)
            if (m.kind == kind)
                texts.push_back(m.text);
        return texts;
    }
};

TEST_F(SerialLinkTest, OpenUsesThePortAndBaudTextsAndCloseRestoresTheButtons)
{
    Parts(form).ComboBox2->setEditText(QStringLiteral("57600"));
    auto port = Open();
    ASSERT_TRUE(port);
    EXPECT_EQ(port->Name(), "ttyUSB1");
    EXPECT_EQ(port->Settings().BaudRate, 57600u);
    EXPECT_FALSE(Parts(form).BitBtn1->isEnabled());
    EXPECT_EQ(Conn().State(), ConnectionState::Open);

    Parts(form).BitBtn2->click();
    Parts(form).Button4->click();
    ASSERT_TRUE(Parts(form).Timer1->isActive());
    Parts(form).Button1->click();
    EXPECT_EQ(Conn().State(), ConnectionState::Closed);
    EXPECT_TRUE(Parts(form).BitBtn1->isEnabled());
    EXPECT_EQ(Parts(form).BitBtn2->text(), WaveformOffCaption);
    EXPECT_FALSE(Parts(form).Timer1->isActive());
    EXPECT_EQ(Parts(form).Button4->text(), QStringLiteral("停止发送"));
    EXPECT_TRUE(port->IsReleased());
    EXPECT_TRUE(sink.Messages.empty());

    // "关闭" again does nothing; a typed port name that is a path is used as is.
    Parts(form).Button1->click();
    Parts(form).ComboBox1->setEditText(QStringLiteral("/dev/ttyFAKE"));
    auto second = Open();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->Name(), "/dev/ttyFAKE");
}

TEST_F(SerialLinkTest, ReceivedFramesReachTheReadOutThroughTheNotification)
{
    auto port = Open();
    ASSERT_TRUE(port);
    auto bytes = FrameBytes(1234, 1);
    const auto second = FrameBytes(987, 1);
    bytes.insert(bytes.end(), second.begin(), second.begin() + 3); // split over two reads
    port->Inject(bytes);
    ASSERT_TRUE(WaitUntil([&] { return Parts(form).Label4->text() == QStringLiteral("1234"); }));
    EXPECT_EQ(Parts(form).Label12->text(), QStringLiteral("1"));
    EXPECT_EQ(Parts(form).Label13->text(), QStringLiteral("高速模式"));
    port->Inject({second.begin() + 3, second.end()});
    ASSERT_TRUE(WaitUntil([&] { return Parts(form).Label4->text() == QStringLiteral("987"); }));
    EXPECT_EQ(Parts(form).RxCount, 16);
    EXPECT_EQ(Parts(form).Label10->text(), QStringLiteral("16"));
    EXPECT_TRUE(sink.Messages.empty());
}

TEST_F(SerialLinkTest, AStaleOrForeignNotificationDoesNothing)
{
    auto port = Open();
    ASSERT_TRUE(port);
    const auto handle = Conn().Link()->Handle;
    Parts(form).Button1->click();
    // One of the closed connection, and one of no connection at all.
    QCoreApplication::postEvent(form.get(), new CommNotifyEvent(handle));
    QCoreApplication::postEvent(form.get(), new CommNotifyEvent(handle + 100));
    RunFor(30ms);
    EXPECT_EQ(port->UsesAfterRelease(), 0);
    EXPECT_EQ(Parts(form).RxCount, 0);
    EXPECT_TRUE(sink.Messages.empty());
}

TEST_F(SerialLinkTest, OnlyTheRegisteredNotificationTypeIsTakenForOne)
{
    auto port = Open();
    ASSERT_TRUE(port);
    std::vector<std::uint64_t> handled;
    Parts(form).Hooks.CommNotify = [&](std::uint64_t handle) { handled.push_back(handle); };

    // Another part of the program using the bare number: no notification, nothing read from it.
    QEvent bare(static_cast<QEvent::Type>(QEvent::User + CommNotifyMessage));
    QCoreApplication::sendEvent(form.get(), &bare);
    EXPECT_TRUE(handled.empty());

    // The type is Qt's registered one: asking for it again gives another number.
    const int type = CommNotifyEventType();
    EXPECT_NE(QEvent::registerEventType(type), type);

    CommNotifyEvent real(Conn().Link()->Handle);
    QCoreApplication::sendEvent(form.get(), &real);
    EXPECT_EQ(handled, std::vector<std::uint64_t>{Conn().Link()->Handle});
    Parts(form).Hooks.CommNotify = nullptr;
    Parts(form).Button1->click();
}

TEST_F(SerialLinkTest, RejectedBaudTextIsReportedAndTheNextOpenWorks)
{
    Parts(form).ComboBox2->setEditText(QStringLiteral("fast"));
    Parts(form).BitBtn1->click();
    EXPECT_EQ(Texts(CaptureSink::Kind::Error),
              std::vector<QString>{QStringLiteral("'fast' is not a valid integer value.")});
    EXPECT_TRUE(Parts(form).BitBtn1->isEnabled());
    ASSERT_TRUE(Platform->LastPort());
    EXPECT_TRUE(Platform->LastPort()->IsReleased());

    Parts(form).ComboBox2->setCurrentIndex(1);
    auto port = Open();
    ASSERT_TRUE(port);
    EXPECT_EQ(port->Settings().BaudRate, 115200u);
    EXPECT_EQ(Conn().State(), ConnectionState::Open);
}

TEST_F(SerialLinkTest, OpenFailuresShowTheirBoxes)
{
    Platform->SetFailureError(FakeOp::OpenPort, {{}, "open", 2, "No such file or directory"});
    Platform->FailCall(FakeOp::OpenPort);
    Parts(form).BitBtn1->click();
    Platform->SetFailureError(FakeOp::StartThread, {"", "pthread_create", 11, "No threads"});
    Platform->FailCall(FakeOp::StartThread);
    Parts(form).ComboBox1->setCurrentIndex(1);
    Parts(form).BitBtn1->click();
    EXPECT_EQ(Texts(CaptureSink::Kind::Notice),
              std::vector<QString>{QStringLiteral("串口打开失败!")});
    // Owned by the window, with the platform's own caption.
    EXPECT_EQ(Texts(CaptureSink::Kind::Owned),
              std::vector<QString>{QStringLiteral("No CreateThread!")});
    // Each box offers the system's reason as the log has it.
    EXPECT_EQ(sink.Messages.at(0).details,
              QStringLiteral("ttyUSB1: open: No such file or directory (system error 2)"));
    EXPECT_EQ(sink.Messages.at(1).details,
              QStringLiteral("pthread_create: No threads (system error 11)"));
    EXPECT_EQ(Conn().State(), ConnectionState::OpenWithoutReader);
    EXPECT_FALSE(Parts(form).BitBtn1->isEnabled());
}

TEST_F(SerialLinkTest, SendCountsTheBytesAndClearResetsTheCountInTheConnection)
{
    Parts(form).Button2->click();
    EXPECT_EQ(Texts(CaptureSink::Kind::Short), std::vector<QString>{QStringLiteral("未打开串口")});
    EXPECT_EQ(Parts(form).Label9->text(), QStringLiteral("0"));
    // The short message was a window of the program: the help note is back.
    EXPECT_EQ(form->StatusText(), TForm1::ActivationNote);

    auto port = Open();
    ASSERT_TRUE(port);
    Parts(form).Button2->click();
    EXPECT_EQ(port->Written(), (std::vector<std::uint8_t>{0xA5, 0x45, 0xEA}));
    EXPECT_EQ(form->TxCount(), 3);
    EXPECT_EQ(Parts(form).Label9->text(), QStringLiteral("3"));

    Parts(form).Button3->click();
    EXPECT_EQ(Parts(form).Label9->text(), QStringLiteral("0"));
    EXPECT_EQ(Conn().TxCount(), 0);
    Parts(form).ComboBox3->setCurrentIndex(4);
    Parts(form).Button2->click();
    EXPECT_EQ(Parts(form).Label9->text(), QStringLiteral("3"));
    EXPECT_EQ(Conn().TxCount(), 3);

    Parts(form).ComboBox3->setEditText(QString());
    Parts(form).Button2->click();
    EXPECT_EQ(sink.Messages.back().text, QStringLiteral("缓冲区为空"));
}

TEST_F(SerialLinkTest, AutoSendPeriods)
{
    struct Row {
        const char* period;
        bool active;
        int interval; // when active
        bool reported;
    };
    const Row rows[] = {
        {"100", true, 100, false},    {"0", false, 0, false}, // on, but no ticks
        {"-1", true, INT_MAX, false}, // a very long period
        {"abc", false, 0, true},      {"$40", true, 64, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.period);
        sink.Messages.clear();
        Parts(form).ComboBox4->setEditText(QString::fromLatin1(row.period));
        Parts(form).Button4->click();
        EXPECT_EQ(Parts(form).Button4->text(), QStringLiteral("停止发送"));
        EXPECT_EQ(Parts(form).Timer1->isActive(), row.active);
        if (row.active) {
            EXPECT_EQ(Parts(form).Timer1->interval(), row.interval);
        }
        EXPECT_EQ(form->Link()->Host()->TimerIdleOn(), std::string_view(row.period) == "0");
        EXPECT_EQ(sink.Messages.size(), row.reported ? 1u : 0u);
        Parts(form).Button4->click();
        EXPECT_EQ(Parts(form).Button4->text(), QStringLiteral("自动发送"));
        EXPECT_FALSE(Parts(form).Timer1->isActive());
        EXPECT_FALSE(form->Link()->Host()->TimerIdleOn());
    }
}

TEST_F(SerialLinkTest, AnyOtherAutoSendCaptionCountsAsOn)
{
    Parts(form).Button4->setText(QStringLiteral("something else"));
    Parts(form).Button4->click();
    EXPECT_EQ(Parts(form).Button4->text(), QStringLiteral("自动发送"));
    EXPECT_FALSE(Parts(form).Timer1->isActive());
}

TEST_F(SerialLinkTest, ATimerThatCannotRunIsReported)
{
    // A timer whose thread runs no event loop cannot be started from here.
    QThread idle;
    QTimer* timer = Parts(form).Timer1;
    timer->setParent(nullptr);
    timer->moveToThread(&idle);
    Parts(form).ComboBox4->setEditText(QStringLiteral("50"));
    Parts(form).Button4->click();
    EXPECT_EQ(Parts(form).Button4->text(), QStringLiteral("停止发送"));
    EXPECT_EQ(Texts(CaptureSink::Kind::Error),
              std::vector<QString>{QStringLiteral("Not enough timers available.")});
    EXPECT_LE(timer->timerId(), 0);
    Parts(form).Timer1 = nullptr;
    form.reset();
    delete timer;
}

TEST_F(SerialLinkTest, AutoSendTicksSendAndCloseStopsThem)
{
    auto port = Open();
    ASSERT_TRUE(port);
    Parts(form).ComboBox4->setEditText(QStringLiteral("20"));
    Parts(form).Button4->click();
    ASSERT_TRUE(WaitUntil([&] { return port->Written().size() >= 9; }));
    EXPECT_EQ(form->TxCount() % 3, 0);
    Parts(form).Button1->click(); // stops the ticks, keeps the caption
    EXPECT_EQ(Parts(form).Button4->text(), QStringLiteral("停止发送"));
    const auto written = port->Written().size();
    RunFor(80ms);
    EXPECT_EQ(port->Written().size(), written);
}

// A short message that stays open a while (its nested loop keeps the timer going), noting
// whether auto-send was still on when it appeared.
class LingeringSink : public CaptureSink {
public:
    TForm1* Form = nullptr;
    int Depth = 0;
    int MaxDepth = 0;
    std::vector<bool> TimerActiveAtMessage;
    std::vector<QString> CaptionAtMessage;
    void ShowShortMessage(const QString& text, const QString& details) override
    {
        CaptureSink::ShowShortMessage(text, details);
        TimerActiveAtMessage.push_back(Parts(Form).Timer1->isActive());
        CaptionAtMessage.push_back(Parts(Form).Button4->text());
        ++Depth;
        MaxDepth = std::max(MaxDepth, Depth);
        RunFor(100ms);
        --Depth;
    }
};

TEST_F(SerialLinkTest, AutoSendWithNoPortStopsAtTheFirstMessage)
{
    LingeringSink lingering;
    TForm1 other(&lingering, &Ports);
    lingering.Form = &other;
    other.AttachSerialLink(Platform);
    Parts(other).ComboBox4->setEditText(QStringLiteral("20"));
    Parts(other).Button4->click();
    RunFor(450ms);
    ASSERT_EQ(lingering.Messages.size(), 1u);
    EXPECT_EQ(lingering.Messages[0].text, QStringLiteral("未打开串口"));
    EXPECT_EQ(lingering.TimerActiveAtMessage, std::vector<bool>{false});
    EXPECT_EQ(lingering.CaptionAtMessage, std::vector<QString>{QStringLiteral("自动发送")});
    EXPECT_FALSE(Parts(other).Timer1->isActive());
    EXPECT_EQ(Parts(other).Button4->text(), QStringLiteral("自动发送"));
}

TEST_F(SerialLinkTest, HangUpDuringAutoSendGivesOneSendMessageAndStopsIt)
{
    LingeringSink lingering;
    TForm1 other(&lingering, &Ports);
    lingering.Form = &other;
    other.AttachSerialLink(Platform);
    Parts(other).BitBtn1->click();
    auto port = Platform->LastPort();
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->WaitForWaiter(2s));
    Parts(other).ComboBox4->setEditText(QStringLiteral("20"));
    Parts(other).Button4->click();
    ASSERT_TRUE(WaitUntil([&] { return port->Written().size() >= 6; }));
    port->Hangup();
    RunFor(450ms);

    std::vector<QString> shorts;
    for (const auto& m : lingering.Messages)
        if (m.kind == CaptureSink::Kind::Short)
            shorts.push_back(m.text);
    EXPECT_EQ(shorts, std::vector<QString>{QStringLiteral("发送数据出错")});
    EXPECT_EQ(lingering.CaptionAtMessage, std::vector<QString>{QStringLiteral("自动发送")});
    EXPECT_FALSE(Parts(other).Timer1->isActive());
    EXPECT_EQ(Parts(other).Button4->text(), QStringLiteral("自动发送"));
    Parts(other).Button1->click();
}

// --- The reader ends with the window -------------------------------------------------------

TEST_F(SerialLinkTest, ClosingOrDestroyingTheWindowWaitsForTheReader)
{
    ASSERT_TRUE(Open());
    form->show();
    form->close(); // closing the window with the port open
    EXPECT_EQ(Platform->ThreadsRunning(), 0);
    EXPECT_EQ(Platform->ThreadsJoined(), 1);

    TForm1 other(&sink, &Ports);
    other.AttachSerialLink(Platform);
    Parts(other).BitBtn1->click();
    ASSERT_EQ(other.Link()->Connection().State(), ConnectionState::Open);
    std::weak_ptr<WindowConnectionHost> host = other.Link()->Host();
    other.AttachSerialLink(Platform); // the old link goes, as it does when the window goes
    EXPECT_EQ(Platform->ThreadsRunning(), 0);
    EXPECT_EQ(Platform->ThreadsJoined(), 2);
    EXPECT_TRUE(host.expired()) << "the reader kept the old window's host";
}

// --- Text typed into the drop-down lists -------------------------------------------------

// As the user types: into the focused edit field, key by key.
void TypeInto(QComboBox* box, const QString& text)
{
    box->lineEdit()->clear();
    // The list's completer attaches itself when the field gets the focus.
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(box->lineEdit(), &focusIn);
    for (const QChar c : text) {
        // ASCII keys carry the upper-case character's code, as the keyboard sends them.
        const int key = c.toUpper().unicode();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(box->lineEdit(), &press);
        QCoreApplication::sendEvent(box->lineEdit(), &release);
    }
}

TEST_F(SerialLinkTest, TypedTextIsUsedAsTypedNotCompletedFromTheList)
{
    // Each typed text is the start of an item; nothing may complete it.
    TypeInto(Parts(form).ComboBox2, QStringLiteral("1"));
    EXPECT_EQ(Parts(form).ComboBox2->currentText().toStdString(), std::string("1"));
    TypeInto(Parts(form).ComboBox2, QStringLiteral("9600"));
    auto port = Open();
    ASSERT_TRUE(port);

    TypeInto(Parts(form).ComboBox3, QStringLiteral("A5 4"));
    EXPECT_EQ(Parts(form).ComboBox3->currentText().toStdString(), std::string("A5 4"));
    Parts(form).Button2->click();
    EXPECT_EQ(port->Written(), (std::vector<std::uint8_t>{0xA5, 0x04}));
    EXPECT_EQ(form->TxCount(), 2);

    TypeInto(Parts(form).ComboBox4, QStringLiteral("10"));
    Parts(form).Button4->click();
    EXPECT_EQ(Parts(form).Timer1->interval(), 10);
    Parts(form).Button4->click();

    TypeInto(Parts(form).ComboBox1, QStringLiteral("tty"));
    EXPECT_EQ(Parts(form).ComboBox1->currentText().toStdString(), std::string("tty"));

    // Picking an item from the list still works.
    Parts(form).ComboBox3->setCurrentIndex(7);
    Parts(form).ComboBox3->activated(7);
    EXPECT_EQ(Parts(form).ComboBox3->currentText().toStdString(), std::string("A5 AE 53"));
    EXPECT_EQ(form->StatusText().toStdString(), std::string("注释：设置波特率为9600"));
}

TEST_F(SerialLinkTest, AVanishedDeviceGivesOneReadFailureThenCloseWorks)
{
    auto port = Open();
    ASSERT_TRUE(port);
    port->Hangup();
    ASSERT_TRUE(WaitUntil([&] { return !sink.Messages.empty(); }));
    RunFor(50ms);
    EXPECT_EQ(Texts(CaptureSink::Kind::Notice),
              std::vector<QString>{QStringLiteral("ReadFile Error!")});
    EXPECT_EQ(Conn().State(), ConnectionState::Broken);
    EXPECT_FALSE(Parts(form).BitBtn1->isEnabled());
    EXPECT_TRUE(Platform->WaitThreadsEnded(2s));

    Parts(form).Button2->click();
    EXPECT_EQ(sink.Messages.back().text, QStringLiteral("发送数据出错"));
    Parts(form).Button1->click();
    EXPECT_EQ(Conn().State(), ConnectionState::Closed);
    EXPECT_TRUE(Parts(form).BitBtn1->isEnabled());
    EXPECT_EQ(port->ReleaseCount(), 1);
}

// A sink whose "Notice" box stays open (in a nested loop, as the real one does) until the test
// presses OK from a timer.
class OpenNoticeSink : public CaptureSink {
public:
    std::function<void()> WhileOpen;
    bool Open = false;
    bool OnWindowThread = false;
    void ShowNotice(const QString& text, const QString& details) override
    {
        CaptureSink::ShowNotice(text, details);
        OnWindowThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        Open = true;
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [&] {
            if (WhileOpen)
                WhileOpen();
            loop.quit();
        });
        loop.exec();
        Open = false;
    }
};

TEST(SerialLinkReader, ANoticeFromTheReaderBlocksOnlyTheReader)
{
    auto platform = std::make_shared<FakePlatform>();
    OpenNoticeSink sink;
    auto form = std::make_unique<TForm1>(&sink, [] { return QStringList{"COM3"}; });
    form->AttachSerialLink(platform);
    // The reader's own event is the second one made: the reader raises its box.
    platform->FailCall(FakeOp::NewEvent, 2);

    bool checked = false;
    sink.WhileOpen = [&] {
        // Still waiting for the OK, while the window goes on handling clicks and sends.
        EXPECT_EQ(platform->ThreadsRunning(), 1);
        Parts(form).Button2->click();
        EXPECT_EQ(platform->LastPort()->Written().size(), 3u);
        Parts(form).ComboBox4->setEditText(QStringLiteral("10"));
        Parts(form).Button4->click();
        EXPECT_TRUE(WaitUntil([&] { return platform->LastPort()->Written().size() >= 9u; }));
        Parts(form).Button4->click();
        EXPECT_EQ(platform->ThreadsRunning(), 1);
        checked = true;
    };
    Parts(form).BitBtn1->click();
    ASSERT_TRUE(WaitUntil([&] { return checked && !sink.Open; }));
    EXPECT_TRUE(sink.OnWindowThread);
    ASSERT_EQ(sink.Messages.size(), 1u);
    EXPECT_EQ(sink.Messages[0].kind, CaptureSink::Kind::Notice);
    EXPECT_EQ(sink.Messages[0].text, QStringLiteral("overlapped.Event Create Error !"));
    EXPECT_TRUE(platform->WaitThreadsEnded(2s));
    form.reset();
}

TEST(SerialLinkReader, AReaderWaitingForItsBoxIsLetGoWhenTheWindowGoes)
{
    auto platform = std::make_shared<FakePlatform>();
    CaptureSink sink;
    auto form = std::make_unique<TForm1>(&sink, [] { return QStringList{"COM3"}; });
    form->AttachSerialLink(platform);
    platform->FailCall(FakeOp::NewEvent, 2);
    Parts(form).BitBtn1->click();
    // No event processing: the box can never be shown; the reader waits for it.
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(platform->ThreadsRunning(), 1);
    form.reset();
    EXPECT_TRUE(platform->WaitThreadsEnded(2s));
    EXPECT_TRUE(sink.Messages.empty());
}

TEST(SerialLinkHost, OnceDetachedPostsFailAndNoticesAreDropped)
{
    CaptureSink sink;
    TForm1 form(&sink, [] { return QStringList(); });
    auto host = std::make_shared<WindowConnectionHost>(form);
    EXPECT_TRUE(host->PostCommNotify(1));
    host->Detach();
    EXPECT_FALSE(host->PostCommNotify(1));
    std::thread reader([host] { host->Fault(ConnectionFault::NotifyFailed, std::nullopt); });
    reader.join(); // returns without anyone showing the box
    host->Fault(ConnectionFault::ClearErrorFailed, std::nullopt);
    RunFor(20ms);
    EXPECT_TRUE(sink.Messages.empty());

    // The host may outlive the window and be let go on another thread.
    auto* late = new TForm1(&sink, [] { return QStringList(); });
    auto orphan = std::make_shared<WindowConnectionHost>(*late);
    EXPECT_TRUE(orphan->PostCommNotify(7));
    delete late;
    RunFor(20ms); // the notification finds no window
    std::thread last([h = std::move(orphan)]() mutable { h.reset(); });
    last.join();
    RunFor(20ms);
    EXPECT_TRUE(sink.Messages.empty());
}

TEST(SerialLinkWindow, ClosingOrDestroyingTheWindowReleasesThePort)
{
    auto platform = std::make_shared<FakePlatform>();
    CaptureSink sink;
    {
        TForm1 form(&sink, [] { return QStringList{"COM3"}; });
        form.AttachSerialLink(platform);
        form.show();
        Parts(form).BitBtn2->click();
        Parts(form).BitBtn1->click();
        ASSERT_EQ(form.Link()->Connection().State(), ConnectionState::Open);
        EXPECT_TRUE(form.close());
        EXPECT_EQ(form.Link()->Connection().State(), ConnectionState::Closed);
        EXPECT_TRUE(Parts(form).BitBtn1->isEnabled());
        EXPECT_EQ(Parts(form).BitBtn2->text(), WaveformOffCaption);
        EXPECT_TRUE(platform->LastPort()->IsReleased());
    }
    {
        TForm1 form(&sink, [] { return QStringList{"COM4"}; });
        form.AttachSerialLink(platform);
        Parts(form).BitBtn1->click();
        platform->LastPort()->Inject(FrameBytes(100, 3));
        // Destroyed with a notification on its way and the port open.
    }
    EXPECT_TRUE(platform->LastPort()->IsReleased());
    EXPECT_TRUE(platform->WaitThreadsEnded(2s));
    RunFor(20ms);
    EXPECT_TRUE(sink.Messages.empty());
    for (const auto& port : platform->Ports())
        EXPECT_LE(port->ReleaseCount(), 1);
}

} // namespace
} // namespace rv::test
