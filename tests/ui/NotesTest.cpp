// Status-bar notes: activation, help button, command notes, and activation after a short
// message; and the shop page button.
#include "UiTestSupport.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QDesktopServices>
#include <QLineEdit>
#include <QSet>
#include <QTest>
#include <QUrl>

namespace rv::test {
namespace {

using NotesTest = FormTest;

const QString ActivationNote = QStringLiteral(
    "注释：点击[显示按钮]将在数据显示框显示上传上来的十六进制数据；点击[显示波形]按钮将显示缩小10倍的距离数据波形；点击[清除]按钮将清空数据显示框和波形显示");
const QString HelpNote = QStringLiteral(
    "注释：点击[显示按钮]将在数据显示框显示上传上来的十六进制数据；点击[显示波形]按钮将显示缩小10倍的距离数据波形;点击[清除]按钮将清空数据显示框和波形显示");

TEST_F(NotesTest, FirstShowWritesTheActivationNoteOnce)
{
    EXPECT_TRUE(form->StatusText().isEmpty());
    form->show();
    EXPECT_EQ(form->StatusText(), ActivationNote);
    // Hiding and showing again (minimise, restore) is not a new activation.
    form->SetStatusText(QStringLiteral("x"));
    form->hide();
    form->show();
    EXPECT_EQ(form->StatusText(), QStringLiteral("x"));
}

TEST_F(NotesTest, HelpAndActivationNotesDifferOnlyInOneSemicolon)
{
    // Both as the status bar shows them.
    Parts(form).BitBtn4->click();
    const QString help = form->StatusText();
    form->show(); // the first activation
    const QString activation = form->StatusText();
    EXPECT_EQ(help, HelpNote);
    EXPECT_EQ(activation, ActivationNote);

    ASSERT_EQ(help.size(), activation.size());
    int differences = 0;
    for (qsizetype i = 0; i < help.size(); ++i) {
        if (help[i] != activation[i]) {
            ++differences;
            EXPECT_EQ(help[i], QLatin1Char(';'));
            EXPECT_EQ(activation[i], QChar(0xFF1B));
        }
    }
    EXPECT_EQ(differences, 1);
    // The full-width one is the second of the two semicolons between the sentences.
    EXPECT_EQ(activation.count(QChar(0xFF1B)), 2);
    EXPECT_EQ(help.count(QChar(0xFF1B)), 1);
}

TEST_F(NotesTest, EveryCommandOfTheListShowsItsOwnNote)
{
    ASSERT_EQ(Parts(form).ComboBox3->count(), 9);
    QStringList notes;
    for (int row = 0; row < Parts(form).ComboBox3->count(); ++row) {
        Parts(form).ComboBox3->setCurrentIndex(row);
        emit Parts(form).ComboBox3->activated(row);
        notes.append(form->StatusText());
    }
    // Nine different notes, each of one command: the codes the items send name what they do.
    EXPECT_EQ(QSet<QString>(notes.begin(), notes.end()).size(), 9);
    for (const QString& note : notes)
        EXPECT_TRUE(note.startsWith(QStringLiteral("注释："))) << note.toStdString();
    EXPECT_EQ(Parts(form).ComboBox3->itemText(0), QStringLiteral("A5 45 EA"));
    EXPECT_EQ(notes[0], QStringLiteral("注释：自动输出数据"));
    EXPECT_EQ(Parts(form).ComboBox3->itemText(1), QStringLiteral("A5 15 BA"));
    EXPECT_EQ(notes[1], QStringLiteral("注释：查询输出数据"));
    EXPECT_EQ(Parts(form).ComboBox3->itemText(2), QStringLiteral("A5 25 CA"));
    EXPECT_EQ(notes[2], QStringLiteral("注释：保存当前测量模式和输出设置"));
    EXPECT_EQ(Parts(form).ComboBox3->itemText(5), QStringLiteral("A5 52 F7"));
    EXPECT_EQ(notes[5], QStringLiteral("注释：设置成高精度测量模式"));
    EXPECT_EQ(Parts(form).ComboBox3->itemText(6), QStringLiteral("A5 53 F8"));
    EXPECT_EQ(notes[6], QStringLiteral("注释：设置成一般测量模式"));
    EXPECT_EQ(Parts(form).ComboBox3->itemText(8), QStringLiteral("A5 AF 54"));
    EXPECT_EQ(notes[8], QStringLiteral("注释：设置波特率为115200"));
}

TEST_F(NotesTest, SelectingACommandShowsItsNoteAndSendsNothing)
{
    int sends = 0;
    Parts(form).Hooks.Button2Click = [&] { ++sends; };

    Parts(form).ComboBox3->setCurrentIndex(7);
    emit Parts(form).ComboBox3->activated(7);
    EXPECT_EQ(form->StatusText(), QStringLiteral("注释：设置波特率为9600"));

    // Trailing spaces of a note are kept.
    Parts(form).ComboBox3->setCurrentIndex(3);
    emit Parts(form).ComboBox3->activated(3);
    EXPECT_EQ(form->StatusText(), QStringLiteral("注释：设置成长距离测量模式 "));
    EXPECT_EQ(sends, 0);
}

TEST_F(NotesTest, EditingTheCommandTextAwayFromItsItemLeavesTheNote)
{
    Parts(form).ComboBox3->setCurrentIndex(7);
    emit Parts(form).ComboBox3->activated(7);
    form->SetStatusText(QStringLiteral("last note"));

    QLineEdit* edit = Parts(form).ComboBox3->lineEdit();
    edit->setFocus();
    edit->end(false);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(Parts(form).ComboBox3->currentText(), QStringLiteral("A5 AE 5"));
    EXPECT_EQ(form->StatusText(), QStringLiteral("last note"));

    // Typing the item's text back makes it the selected item again.
    QTest::keyClick(edit, Qt::Key_3);
    EXPECT_EQ(Parts(form).ComboBox3->currentText(), QStringLiteral("A5 AE 53"));
    EXPECT_EQ(form->StatusText(), QStringLiteral("注释：设置波特率为9600"));
}

TEST_F(NotesTest, ClosingAShortMessageActivatesTheWindowAgain)
{
    form->show();
    Parts(form).ComboBox3->setCurrentIndex(1);
    emit Parts(form).ComboBox3->activated(1);
    EXPECT_EQ(form->StatusText(), QStringLiteral("注释：查询输出数据"));

    // "发送" with the port closed: the link answers with a short message.
    Parts(form).Hooks.Button2Click = [this] {
        form->ShowShortMessage(QStringLiteral("未打开串口"));
    };
    Parts(form).Button2->click();
    ASSERT_EQ(sink.Messages.size(), 1u);
    EXPECT_EQ(sink.Messages[0].kind, CaptureSink::Kind::Short);
    EXPECT_EQ(sink.Messages[0].text, QStringLiteral("未打开串口"));
    EXPECT_EQ(form->StatusText(), ActivationNote);
}

TEST_F(NotesTest, SwitchingApplicationsLeavesTheCommandNote)
{
    form->show();
    Parts(form).ComboBox3->setCurrentIndex(4);
    emit Parts(form).ComboBox3->activated(4);
    const QString note = form->StatusText();
    // The window loses and regains activation as when the user visits another program.
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(form.get(), &deactivate);
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(form.get(), &activate);
    QEvent change(QEvent::ActivationChange);
    QCoreApplication::sendEvent(form.get(), &change);
    EXPECT_EQ(form->StatusText(), note);
    EXPECT_EQ(note, QStringLiteral("注释：设置成高速测量模式 "));
}

TEST_F(NotesTest, PlatformBoxesDoNotActivateTheWindow)
{
    form->show();
    Parts(form).ComboBox3->setCurrentIndex(2);
    emit Parts(form).ComboBox3->activated(2);
    const QString note = form->StatusText();

    form->ShowNotice(QStringLiteral("ReadFile Error!"));
    EXPECT_EQ(form->StatusText(), note);
    Parts(form).Hooks.BitBtn1Click = [] { throw std::runtime_error("boom"); };
    Parts(form).BitBtn1->click();
    EXPECT_EQ(form->StatusText(), note);
    ASSERT_EQ(sink.Messages.size(), 2u);
    EXPECT_EQ(sink.Messages[0].kind, CaptureSink::Kind::Notice);
    EXPECT_EQ(sink.Messages[1].kind, CaptureSink::Kind::Error);
}

// Receives the shop page instead of a browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> Opened;
public slots:
    void Open(const QUrl& url) { Opened.append(url); }
};

TEST_F(NotesTest, ShopButtonOpensThePageInTheBrowser)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Open");
    Parts(form).BitBtn3->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    ASSERT_EQ(catcher.Opened.size(), 1);
    EXPECT_EQ(catcher.Opened[0], QUrl(TForm1::ShopPageAddress));
    EXPECT_TRUE(sink.Messages.empty());
}

} // namespace
} // namespace rv::test

#include "NotesTest.moc"
