// The three kinds of messages with the real boxes, and the handler dispatcher.
#include "UiTestSupport.h"

#include "rangeview/common/IntegerText.h"
#include "rangeview/ui/ProgramTitle.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

#include <atomic>
#include <functional>
#include <thread>

namespace rv::test {
namespace {

QMessageBox* FindBox(const QString& title)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box != nullptr && box->isVisible() && box->windowTitle() == title)
            return box;
    }
    return nullptr;
}

// Processes events until pred holds or 5 s pass.
bool SpinUntil(const std::function<bool()>& pred)
{
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pred();
}

void Spin(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

struct SeenBox {
    bool found = false;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::WindowModality modality = Qt::NonModal;
    bool hasParent = true;
    int buttons = 0;
    QString details;
    QStringList otherButtons; // captions beside OK (the details button's)
};

// Looks at the box with the given caption once it is up, then presses its OK button.
void CheckAndDismiss(const QString& title, SeenBox& seen, std::function<void()> whileOpen = {})
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [=, &seen] {
        QMessageBox* box = FindBox(title);
        if (box == nullptr)
            return;
        poll->stop();
        seen.found = true;
        seen.text = box->text();
        seen.icon = box->icon();
        seen.modality = box->windowModality();
        seen.hasParent = box->parentWidget() != nullptr;
        seen.buttons = static_cast<int>(box->buttons().size());
        seen.details = box->detailedText();
        for (const QAbstractButton* b : box->findChildren<QAbstractButton*>())
            if (b != box->button(QMessageBox::Ok))
                seen.otherButtons.append(b->text());
        if (whileOpen)
            whileOpen();
        box->button(QMessageBox::Ok)->click();
        poll->deleteLater();
    });
    poll->start(10);
}

TEST(MessageBoxes, ShortMessageIsModalWithTitleCaptionAndNoIcon)
{
    QtMessageSink sink;
    SeenBox seen;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(5);
    int ticksWhileOpen = -1;
    CheckAndDismiss(ProgramTitle(), seen, [&] {
        // Timer ticks must keep coming under the box; a loaded machine may only slow them.
        const int before = ticks;
        SpinUntil([&] { return ticks - before > 3; });
        ticksWhileOpen = ticks - before;
    });
    sink.ShowShortMessage(QStringLiteral("未打开串口"), QString());
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, QStringLiteral("未打开串口"));
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.modality, Qt::ApplicationModal);
    EXPECT_EQ(seen.buttons, 1);
    EXPECT_GT(ticksWhileOpen, 3);
}

TEST(MessageBoxes, ErrorReportIsModalWithErrorIcon)
{
    QtMessageSink sink;
    SeenBox seen;
    CheckAndDismiss(ProgramTitle(), seen);
    sink.ShowErrorReport(QStringLiteral("'abc' is not a valid integer value."));
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, QStringLiteral("'abc' is not a valid integer value."));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.modality, Qt::ApplicationModal);
    EXPECT_EQ(seen.buttons, 1);
}

TEST(MessageBoxes, NoticeLeavesTheMainWindowUsableWhileTheCallerWaits)
{
    QtMessageSink sink;
    TForm1 form(&sink, [] { return QStringList(); });
    form.show();
    SeenBox seen;
    bool windowWorked = false;
    CheckAndDismiss(QStringLiteral("Notice"), seen, [&] {
        // A click on the main window is handled while the box is open.
        Parts(form).BitBtn4->click();
        windowWorked = form.StatusText() == TForm1::HelpNote;
    });
    // The system's reason is one click away, behind a details button with a Chinese caption.
    const QString reason = QStringLiteral("/dev/ttyNOPE: open: No such file (system error 2)");
    form.ShowNotice(QStringLiteral("串口打开失败!"), reason);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, QStringLiteral("串口打开失败!"));
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.modality, Qt::NonModal);
    EXPECT_FALSE(seen.hasParent);
    EXPECT_EQ(seen.details, reason);
    EXPECT_EQ(seen.otherButtons, QStringList{QStringLiteral("显示详细信息...")});
    EXPECT_TRUE(windowWorked);
    // Closing a platform box is no activation: the help note stays.
    EXPECT_EQ(form.StatusText(), TForm1::HelpNote);
}

TEST(MessageBoxes, NoticeFromAnotherThreadBlocksThatThreadUntilDismissed)
{
    QtMessageSink sink;
    std::atomic<bool> returned{false};
    SeenBox seen;
    bool waitedWhileOpen = false;
    CheckAndDismiss(QStringLiteral("Notice"), seen, [&] {
        Spin(100);
        waitedWhileOpen = !returned.load();
    });
    std::thread reader([&] {
        sink.ShowNotice(QStringLiteral("PostMessage Error !"), QString());
        returned = true;
    });
    EXPECT_TRUE(SpinUntil([&] { return returned.load(); }));
    reader.join();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, QStringLiteral("PostMessage Error !"));
    EXPECT_EQ(seen.modality, Qt::NonModal);
    EXPECT_TRUE(waitedWhileOpen);
}

TEST(MessageBoxes, OwnedBoxHasTheWindowAsOwnerAndNoCaptionOfItsOwn)
{
    QtMessageSink sink;
    TForm1 form(&sink, [] { return QStringList(); });
    form.show();
    form.SetStatusText(QStringLiteral("note"));
    SeenBox seen;
    CheckAndDismiss(QString(), seen);
    form.ShowOwnedBox(QStringLiteral("No CreateThread!"));
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, QStringLiteral("No CreateThread!"));
    EXPECT_TRUE(seen.hasParent);
    EXPECT_NE(seen.modality, Qt::NonModal);
    EXPECT_EQ(seen.buttons, 1);
    EXPECT_EQ(form.StatusText(), QStringLiteral("note"));
}

using DispatcherTest = FormTest;

TEST_F(DispatcherTest, ClosingTheWindowLetsTheLinkReleaseThePortEvenIfThatFails)
{
    int closes = 0;
    Parts(form).Hooks.FormClose = [&] {
        ++closes;
        throw std::runtime_error("port gone");
    };
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(sink.Messages.size(), 1u);
    EXPECT_EQ(sink.Messages[0].text, QStringLiteral("port gone."));
}

TEST_F(DispatcherTest, AnErrorEndsTheHandlerKeepsItsChangesAndIsReported)
{
    // Auto-send with the period "abc": the caption is already changed when the conversion fails.
    Parts(form).ComboBox4->setEditText(QStringLiteral("abc"));
    bool reachedTimer = false;
    Parts(form).Hooks.Button4Click = [&] {
        Parts(form).Button4->setText(QStringLiteral("停止发送"));
        StrToInt(Parts(form).ComboBox4->currentText().toStdString());
        reachedTimer = true;
    };
    Parts(form).Button4->click();
    EXPECT_FALSE(reachedTimer);
    EXPECT_EQ(Parts(form).Button4->text(), QStringLiteral("停止发送"));
    ASSERT_EQ(sink.Messages.size(), 1u);
    EXPECT_EQ(sink.Messages[0].kind, CaptureSink::Kind::Error);
    EXPECT_EQ(sink.Messages[0].text, QStringLiteral("'abc' is not a valid integer value."));

    // The program goes on: the next click works.
    Parts(form).Hooks.Button4Click = [&] {
        Parts(form).Button4->setText(QStringLiteral("自动发送"));
    };
    Parts(form).Button4->click();
    EXPECT_EQ(Parts(form).Button4->text(), QStringLiteral("自动发送"));
}

TEST_F(DispatcherTest, EveryRoutedHandlerIsGuarded)
{
    auto thrower = [] { throw AxisException("Axis Minimum Value must be <= Maximum"); };
    Parts(form).Hooks.BitBtn1Click = thrower;
    Parts(form).Hooks.Button1Click = thrower;
    Parts(form).Hooks.Button2Click = thrower;
    Parts(form).Hooks.Button4Click = thrower;
    Parts(form).Hooks.Timer1Timer = thrower;
    Parts(form).BitBtn1->click();
    Parts(form).Button1->click();
    Parts(form).Button2->click();
    Parts(form).Button4->click();
    Parts(form).Timer1->setInterval(0);
    Parts(form).Timer1->setSingleShot(true);
    Parts(form).Timer1->start();
    SpinUntil([&] { return sink.Messages.size() >= 5; });
    ASSERT_EQ(sink.Messages.size(), 5u);
    for (const auto& m : sink.Messages) {
        EXPECT_EQ(m.kind, CaptureSink::Kind::Error);
        EXPECT_EQ(m.text, QStringLiteral("Axis Minimum Value must be <= Maximum."));
    }
}

TEST_F(DispatcherTest, SomethingThatIsNoStandardExceptionIsStillReported)
{
    Parts(form).Hooks.Button1Click = [] { throw 42; };
    Parts(form).Button1->click();
    ASSERT_EQ(sink.Messages.size(), 1u);
    EXPECT_EQ(sink.Messages[0].kind, CaptureSink::Kind::Error);
    EXPECT_FALSE(sink.Messages[0].text.isEmpty());
}

} // namespace
} // namespace rv::test
