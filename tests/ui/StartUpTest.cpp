// The window as it stands after start-up: layout, captions, fonts, colours and initial state.
#include "UiTestSupport.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTimer>

namespace rv::test {
namespace {

using StartUpTest = FormTest;

struct Placed {
    const char* name;
    int x, y, w, h; // w, h < 0: sized by its text
    const char* parent;
};

TEST_F(StartUpTest, EveryControlSitsWhereTheLayoutPutsIt)
{
    const Placed table[] = {
        {"ComboBox1", 736, 40, 105, 21, "Form1"}, {"ComboBox2", 736, 88, 105, 21, "Form1"},
        {"BitBtn1", 856, 32, 81, 33, "Form1"},    {"Panel1", 0, 0, 633, 169, "Form1"},
        {"Button1", 856, 80, 81, 33, "Form1"},    {"ComboBox3", 736, 128, 105, 21, "Form1"},
        {"Button2", 856, 120, 81, 33, "Form1"},   {"Memo1", 0, 172, 633, 157, "Form1"},
        {"Button3", 672, 296, 105, 33, "Form1"},  {"ComboBox4", 736, 168, 105, 21, "Form1"},
        {"Button4", 856, 160, 81, 33, "Form1"},   {"Button5", 672, 248, 105, 33, "Form1"},
        {"Chart1", 0, 336, 953, 313, "Form1"},    {"BitBtn2", 856, 296, 81, 33, "Form1"},
        {"Edit1", 800, 296, 33, 21, "Form1"},     {"Edit2", 800, 264, 41, 21, "Form1"},
        {"BitBtn3", 856, 248, 81, 33, "Form1"},   {"BitBtn4", 856, 208, 81, 33, "Form1"},
        {"Label1", 664, 40, -1, -1, "Form1"},     {"Label2", 664, 88, -1, -1, "Form1"},
        {"Label14", 672, 136, -1, -1, "Form1"},   {"Label5", 672, 168, -1, -1, "Form1"},
        {"Label6", 672, 200, -1, -1, "Form1"},    {"Label9", 752, 200, -1, -1, "Form1"},
        {"Label8", 672, 224, -1, -1, "Form1"},    {"Label10", 752, 224, -1, -1, "Form1"},
        {"Label7", 48, 57, -1, -1, "Panel1"},     {"Label4", 240, 56, -1, -1, "Panel1"},
        {"Label3", 494, 56, -1, -1, "Panel1"},    {"Label11", 48, 136, -1, -1, "Panel1"},
        {"Label12", 232, 136, -1, -1, "Panel1"},  {"Label13", 312, 136, -1, -1, "Panel1"},
        {"StatusBar1", 0, 650, 960, 19, "Form1"},
    };
    for (const Placed& p : table) {
        SCOPED_TRACE(p.name);
        auto* w = form->findChild<QWidget*>(QLatin1String(p.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), QLatin1String(p.parent));
        EXPECT_EQ(w->pos(), QPoint(p.x, p.y));
        if (p.w >= 0) {
            EXPECT_EQ(w->size(), QSize(p.w, p.h));
        }
    }
    // The label of the distance keeps its layout height even while empty.
    EXPECT_GE(Parts(form).Label4->height(), 48);
}

TEST_F(StartUpTest, WindowIsAFixedFrameWithoutCaption)
{
    EXPECT_EQ(form->objectName(), QStringLiteral("Form1"));
    EXPECT_EQ(form->size(), QSize(960, 669));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->pos(), QPoint(425, 157));
    EXPECT_TRUE(form->windowTitle().isEmpty());
    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(form->backgroundRole(), QPalette::Midlight);
}

TEST_F(StartUpTest, ListsAndCaptionsStartAsTheLayoutSays)
{
    // The port list in the platform's order, unsorted, item 0 selected.
    ASSERT_EQ(Parts(form).ComboBox1->count(), 3);
    EXPECT_EQ(Parts(form).ComboBox1->itemText(0), QStringLiteral("ttyUSB1"));
    EXPECT_EQ(Parts(form).ComboBox1->itemText(1), QStringLiteral("ttyS0"));
    EXPECT_EQ(Parts(form).ComboBox1->itemText(2), QStringLiteral("ttyACM0"));
    EXPECT_EQ(Parts(form).ComboBox1->currentText(), QStringLiteral("ttyUSB1"));

    // The baud list shows 9600 although its layout text is 115200.
    EXPECT_EQ(Parts(form).ComboBox2->count(), 2);
    EXPECT_EQ(Parts(form).ComboBox2->currentText(), QStringLiteral("9600"));
    EXPECT_EQ(Parts(form).ComboBox3->count(), 9);
    EXPECT_EQ(Parts(form).ComboBox3->currentIndex(), 0);
    EXPECT_EQ(Parts(form).ComboBox3->currentText(), QStringLiteral("A5 45 EA"));
    EXPECT_EQ(Parts(form).ComboBox3->itemText(8), QStringLiteral("A5 AF 54"));
    EXPECT_EQ(Parts(form).ComboBox4->count(), 6);
    EXPECT_EQ(Parts(form).ComboBox4->currentText(), QStringLiteral("50"));
    EXPECT_EQ(Parts(form).ComboBox4->itemText(5), QStringLiteral("1000"));
    for (QComboBox* c : {Parts(form).ComboBox1, Parts(form).ComboBox2, Parts(form).ComboBox3,
                         Parts(form).ComboBox4})
        EXPECT_TRUE(c->isEditable());

    EXPECT_EQ(Parts(form).BitBtn1->text(), QStringLiteral("打开串口"));
    EXPECT_EQ(Parts(form).Button1->text(), QStringLiteral("关闭"));
    EXPECT_EQ(Parts(form).Button2->text(), QStringLiteral("发送"));
    EXPECT_EQ(Parts(form).Button3->text(), QStringLiteral("清除"));
    EXPECT_EQ(Parts(form).Button4->text(), QStringLiteral("自动发送"));
    EXPECT_EQ(Parts(form).Button5->text(), QStringLiteral("显示"));
    EXPECT_EQ(Parts(form).BitBtn2->text(), QStringLiteral("显示波形"));
    EXPECT_EQ(Parts(form).BitBtn3->text(), QStringLiteral("Orvik淘宝官网"));
    EXPECT_EQ(Parts(form).BitBtn4->text(), QStringLiteral("帮助"));

    EXPECT_EQ(Parts(form).Label1->text(), QStringLiteral("端口号："));
    EXPECT_EQ(Parts(form).Label2->text(), QStringLiteral("波特率："));
    EXPECT_EQ(Parts(form).Label14->text(), QStringLiteral("指令："));
    EXPECT_EQ(Parts(form).Label5->text(), QStringLiteral("T/ms:"));
    EXPECT_EQ(Parts(form).Label6->text(), QStringLiteral("TX:"));
    EXPECT_EQ(Parts(form).Label9->text(), QStringLiteral("0"));
    EXPECT_EQ(Parts(form).Label8->text(), QStringLiteral("RX:"));
    EXPECT_EQ(Parts(form).Label10->text(), QStringLiteral("0"));
    EXPECT_EQ(Parts(form).Label7->text(), QStringLiteral("距离:"));
    EXPECT_EQ(Parts(form).Label3->text(), QStringLiteral("mm"));
    EXPECT_EQ(Parts(form).Label11->text(), QStringLiteral("测量模式："));
    EXPECT_TRUE(Parts(form).Label4->text().isEmpty());
    EXPECT_TRUE(Parts(form).Label12->text().isEmpty());
    EXPECT_EQ(Parts(form).Label13->text(), QStringLiteral("一般模式"));

    EXPECT_TRUE(Parts(form).Memo1->toPlainText().isEmpty());
    EXPECT_FALSE(Parts(form).Memo1->isReadOnly());
    EXPECT_EQ(Parts(form).Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(Parts(form).Edit1->isHidden());
    EXPECT_TRUE(Parts(form).Edit2->isHidden());
    EXPECT_EQ(Parts(form).Edit1->text(), QStringLiteral("Edit1"));
    EXPECT_EQ(Parts(form).Edit2->text(), QStringLiteral("Edit2"));
    EXPECT_FALSE(Parts(form).Timer1->isActive());
}

TEST_F(StartUpTest, StateAndAxesStartAtTheirInitialValues)
{
    EXPECT_EQ(Parts(form).LastMode, 4);
    EXPECT_EQ(form->TxCount(), 0);
    EXPECT_EQ(Parts(form).RxCount, 0);
    EXPECT_EQ(Parts(form).SampleIndex, 0);
    EXPECT_EQ(form->Series1().PointCount(), 0);
    EXPECT_EQ(H().Minimum(), 0.0);
    EXPECT_EQ(H().Maximum(), 199.0);
    EXPECT_FALSE(H().Automatic());
    EXPECT_EQ(V().Minimum(), 0.0);
    EXPECT_EQ(V().Maximum(), 0.0);
    EXPECT_FALSE(V().Automatic());
    EXPECT_TRUE(sink.Messages.empty());
}

TEST_F(StartUpTest, FontsAndColoursFollowTheLayout)
{
    struct FontRow {
        QWidget* w;
        int px;
        bool bold;
    };
    const FontRow rows[] = {
        {Parts(form).ComboBox1, 11, false}, {Parts(form).BitBtn1, 11, false},
        {Parts(form).Label1, 16, true},     {Parts(form).Label14, 16, true},
        {Parts(form).Label5, 16, true},     {Parts(form).Label10, 16, true},
        {Parts(form).Label7, 37, true},     {Parts(form).Label3, 37, true},
        {Parts(form).Label4, 48, true},     {Parts(form).Label11, 19, true},
        {Parts(form).Label13, 19, true},    {Parts(form).BitBtn3, 11, true},
        {Parts(form).BitBtn4, 16, true},
    };
    for (const FontRow& r : rows) {
        SCOPED_TRACE(r.w->objectName().toStdString());
        EXPECT_EQ(r.w->font().pixelSize(), r.px);
        EXPECT_EQ(r.w->font().bold(), r.bold);
    }
    EXPECT_EQ(Parts(form).Label1->font().family(), QStringLiteral("宋体"));
    EXPECT_EQ(Parts(form).Label5->font().family(), QStringLiteral("MS Sans Serif"));

    const QColor green(0, 128, 0), yellow(255, 255, 0);
    EXPECT_EQ(Parts(form).Panel1->palette().color(QPalette::Window), green);
    EXPECT_TRUE(Parts(form).Panel1->autoFillBackground());
    // Filled with its own green, not with the window's role.
    EXPECT_EQ(Parts(form).Panel1->backgroundRole(), QPalette::Window);
    EXPECT_EQ(Parts(form).Label4->backgroundRole(), QPalette::Window);
    EXPECT_EQ(Parts(form).Panel1->frameShadow(), QFrame::Raised);
    for (QLabel* l : {Parts(form).Label7, Parts(form).Label4, Parts(form).Label3,
                      Parts(form).Label11, Parts(form).Label12, Parts(form).Label13})
        EXPECT_EQ(l->palette().color(QPalette::WindowText), yellow);
    EXPECT_EQ(Parts(form).Label4->palette().color(QPalette::Window), green);
    EXPECT_EQ(Parts(form).BitBtn3->palette().color(QPalette::ButtonText), QColor(0, 0, 255));
    EXPECT_EQ(Parts(form).BitBtn4->palette().color(QPalette::ButtonText), QColor(255, 0, 0));
    EXPECT_EQ(Parts(form).Memo1->palette().color(QPalette::Base), QColor(Qt::white));
}

TEST_F(StartUpTest, TabOrderFollowsTheControlTable)
{
    QWidget* expected[] = {Parts(form).ComboBox1, Parts(form).ComboBox2, Parts(form).BitBtn1,
                           Parts(form).Button1,   Parts(form).ComboBox3, Parts(form).Button2,
                           Parts(form).Memo1,     Parts(form).Button3,   Parts(form).ComboBox4,
                           Parts(form).Button4,   Parts(form).Button5};
    for (std::size_t i = 0; i + 1 < std::size(expected); ++i) {
        // The next widget that takes focus by Tab, past the inner parts of this control.
        QWidget* next = expected[i]->nextInFocusChain();
        while (next != nullptr && next != expected[i] &&
               (expected[i]->isAncestorOf(next) || !(next->focusPolicy() & Qt::TabFocus)))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, expected[i + 1]) << i;
    }
}

TEST(StartUpEmptyPortList, LeavesThePortListWithoutSelectionAndTextUntilPortsAppear)
{
    CaptureSink sink;
    QStringList present;
    TForm1 form(&sink, [&present] { return present; });
    QComboBox* ports = Parts(form).ComboBox1;
    EXPECT_EQ(ports->count(), 0);
    EXPECT_EQ(ports->currentIndex(), -1);
    EXPECT_TRUE(ports->currentText().isEmpty());
    // The other lists are selected as usual.
    EXPECT_EQ(Parts(form).ComboBox2->currentText(), QStringLiteral("9600"));

    // The list is read again as it drops down; the text stays, typed or picked.
    const auto dropDown = [&](QStringList now) {
        present = std::move(now);
        ports->showPopup();
        ports->hidePopup();
        QStringList shown;
        for (int i = 0; i < ports->count(); ++i)
            shown.append(ports->itemText(i));
        EXPECT_EQ(shown, present);
    };
    ports->setEditText(QStringLiteral("ttyTYPED"));
    dropDown({QStringLiteral("ttyUSB0")});
    EXPECT_EQ(ports->currentText(), QStringLiteral("ttyTYPED"));
    EXPECT_EQ(ports->currentIndex(), -1);
    ports->setCurrentIndex(0);
    dropDown({QStringLiteral("ttyS0"), QStringLiteral("ttyUSB0")});
    EXPECT_EQ(ports->currentText(), QStringLiteral("ttyUSB0"));
    EXPECT_EQ(ports->currentIndex(), 1);
    dropDown({});
    EXPECT_EQ(ports->currentText(), QStringLiteral("ttyUSB0"));
    EXPECT_TRUE(sink.Messages.empty());
}

} // namespace
} // namespace rv::test
