// The window's layout: every control with its place, size, caption, font, colour and initial
// content. This is the only place where controls are created and placed.
#include "rangeview/ui/Unit1.h"

#include "rangeview/chart/qt/ChartControl.h"
#include "rangeview/protocol/CommandTable.h"
#include "rangeview/ui/LogMemo.h"

#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <functional>

namespace rv {

namespace {

constexpr int ClientWidth = 960;
constexpr int ClientHeight = 669;
constexpr int WindowLeft = 425;
// Single border: fixed size, system menu and minimise, no maximise.
constexpr Qt::WindowFlags WindowFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                        Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                        Qt::WindowCloseButtonHint;
constexpr int WindowTop = 157;

// Fonts are given as a character height in pixels.
QFont SansFont(int px, bool bold)
{
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif")});
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

// "宋体" (SimSun), bold. A Qt font has no character set of its own: glyphs are chosen per
// character, and those the face lacks come from the system's fallback fonts.
QFont SimSunBold(int px)
{
    QFont f;
    f.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun")});
    f.setPixelSize(px);
    f.setBold(true);
    return f;
}

void SetTextColor(QWidget* w, QPalette::ColorRole role, const QColor& color)
{
    QPalette p = w->palette();
    p.setColor(role, color);
    w->setPalette(p);
}

void SetFill(QWidget* w, const QColor& color)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, color);
    w->setPalette(p);
    // Its own role: the window's cl3DLight role would otherwise be inherited.
    w->setBackgroundRole(QPalette::Window);
    w->setAutoFillBackground(true);
}

template <class W>
W* Make(QWidget* parent, const char* name)
{
    auto* w = new W(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

// Edit1 and Edit2 are hidden and rewritten with nearly every read. A line edit lays its text
// out on every change; a hidden one has nothing to show, and NoEcho leaves it nothing to lay
// out while text() keeps the text. Shown, it echoes as usual.
class HiddenLineEdit final : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    void setVisible(bool visible) override
    {
        setEchoMode(visible ? QLineEdit::Normal : QLineEdit::NoEcho);
        QLineEdit::setVisible(visible);
    }
};

// ComboBox1 reads the port list again as it drops down: an adapter plugged in after start-up is
// then there to pick.
class PortComboBox final : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> AboutToDrop;
    void showPopup() override
    {
        if (AboutToDrop)
            AboutToDrop();
        QComboBox::showPopup();
    }
};

template <class Combo = QComboBox>
Combo* MakeCombo(QWidget* parent, const char* name, int x, int y, const QStringList& items)
{
    auto* c = Make<Combo>(parent, name);
    c->setEditable(true);
    // Typed text never becomes a list item, and is never completed from one: what is converted
    // or sent is the text as typed ("A5 4" must not turn into "A5 45 EA").
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setCompleter(nullptr);
    c->addItems(items);
    c->setGeometry(x, y, 105, 21);
    return c;
}

QPushButton* MakeButton(QWidget* parent, const char* name, int x, int y, int w, int h,
                        const QString& caption)
{
    auto* b = Make<QPushButton>(parent, name);
    b->setText(caption);
    b->setAutoDefault(false);
    b->setGeometry(x, y, w, h);
    return b;
}

// Labels size themselves to their text.
QLabel* MakeLabel(QWidget* parent, const char* name, int x, int y, const QString& caption,
                  const QFont& font, const QColor& color)
{
    auto* l = Make<QLabel>(parent, name);
    l->setFont(font);
    SetTextColor(l, QPalette::WindowText, color);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setMargin(0);
    l->setText(caption);
    l->move(x, y);
    l->adjustSize();
    return l;
}

// The least move along one axis that puts [start, start + size) inside [low, high); a window
// larger than the range keeps its start (title bar, left column) in view.
int FitAxis(int start, int size, int low, int high)
{
    if (start + size > high)
        start = high - size;
    if (start < low)
        start = low;
    return start;
}

} // namespace

qreal TForm1::ScaleFactorToFit()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || screen->devicePixelRatio() <= 1.0)
        return 1.0;
    const qreal ratio = screen->devicePixelRatio();
    QMargins frame;
    {
        QWindow probe;
        probe.setFlags(WindowFlags);
        probe.resize(ClientWidth, ClientHeight);
        probe.create();
        frame = probe.frameMargins();
    }
    // A window manager tells the frame only once the window is shown: allow for a title bar.
    if (frame.isNull())
        frame = QMargins(8, 32, 8, 8);
    // The frame keeps its size in device pixels while the scale changes, so the scale may fall
    // by the share of the free area left once the frame is in. It falls to a whole number of
    // eighths, at which the chart's pixel caches still work (their pattern repeats within eight
    // pixels).
    const QRect area = screen->availableGeometry();
    const qreal k = std::min(qreal(area.width() - frame.left() - frame.right()) / ClientWidth,
                             qreal(area.height() - frame.top() - frame.bottom()) / ClientHeight);
    const qreal fitted = std::max(std::floor(ratio * k * 8 + 1e-9) / 8, 1.0);
    if (fitted >= ratio)
        return 1.0;
    // Qt multiplies its scale by the factor: the product has to be the eighths exactly, not the
    // number next to them.
    qreal factor = fitted / ratio;
    for (int i = 0; i < 4 && ratio * factor != fitted; ++i)
        factor = std::nextafter(factor, ratio * factor < fitted ? 2.0 : 0.0);
    return factor;
}

void TForm1::FitOnScreen()
{
    // The fixed place puts the right column of buttons off a 1280 x 800 or 1366 x 768 screen.
    const QRect frame = frameGeometry();
    QScreen* screen = QGuiApplication::screenAt(frame.topLeft());
    if (screen == nullptr)
        screen = this->screen();
    if (screen == nullptr)
        return;
    const QRect available = screen->availableGeometry();
    const QPoint fitted(
        FitAxis(frame.x(), frame.width(), available.left(), available.left() + available.width()),
        FitAxis(frame.y(), frame.height(), available.top(), available.top() + available.height()));
    if (fitted == frame.topLeft())
        return;
    // The frame is what has to fit; once the window exists its frame is placed directly.
    if (QWindow* window = windowHandle())
        window->setFramePosition(fitted);
    else
        move(fitted);
}

void TForm1::BuildLayout()
{
    const QColor windowText = palette().color(QPalette::WindowText);
    const QColor clGreenQ(0, 128, 0);
    const QColor clYellowQ(255, 255, 0);
    const QColor clBlueQ(0, 0, 255);
    const QColor clRedQ(255, 0, 0);

    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString());
    setWindowFlags(WindowFlags);
    setFixedSize(ClientWidth, ClientHeight);
    move(WindowLeft, WindowTop);
    setFont(SansFont(11, false));
    // cl3DLight: the platform's light 3-D face colour, taken from the palette.
    setBackgroundRole(QPalette::Midlight);
    setAutoFillBackground(true);

    // Created in tab order.
    auto* ports = MakeCombo<PortComboBox>(this, "ComboBox1", 736, 40, {});
    ports->AboutToDrop = [this] { Dispatch([this] { ComboBox1DropDown(); }); };
    ComboBox1 = ports;
    ComboBox2 =
        MakeCombo(this, "ComboBox2", 736, 88, {QStringLiteral("9600"), QStringLiteral("115200")});
    ComboBox2->setEditText(QStringLiteral("115200"));
    BitBtn1 = MakeButton(this, "BitBtn1", 856, 32, 81, 33, QStringLiteral("打开串口"));

    Panel1 = Make<QFrame>(this, "Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    Panel1->setGeometry(0, 0, 633, 169);
    Panel1->setFont(SimSunBold(37));
    SetFill(Panel1, clGreenQ);
    SetTextColor(Panel1, QPalette::WindowText, clYellowQ);

    Button1 = MakeButton(this, "Button1", 856, 80, 81, 33, QStringLiteral("关闭"));

    QStringList commands;
    for (const CommandTableRow& row : CommandTable)
        commands.append(
            QString::fromUtf8(row.ItemText.data(), static_cast<qsizetype>(row.ItemText.size())));
    ComboBox3 = MakeCombo(this, "ComboBox3", 736, 128, commands);
    ComboBox3->setCurrentIndex(0);

    Button2 = MakeButton(this, "Button2", 856, 120, 81, 33, QStringLiteral("发送"));

    Memo1 = Make<TLogMemo>(this, "Memo1");
    Memo1->setGeometry(0, 172, 633, 157);
    {
        // The log is hex text: kerning and ligatures add nothing there but cost a shaping pass
        // for every line received.
        QFont f = Memo1->font();
        f.setStyleStrategy(QFont::PreferNoShaping);
        Memo1->setFont(f);
    }
    {
        QPalette p = Memo1->palette();
        p.setColor(QPalette::Base, Qt::white);
        Memo1->setPalette(p);
    }

    Button3 = MakeButton(this, "Button3", 672, 296, 105, 33, QStringLiteral("清除"));
    ComboBox4 = MakeCombo(this, "ComboBox4", 736, 168,
                          {QStringLiteral("50"), QStringLiteral("100"), QStringLiteral("150"),
                           QStringLiteral("200"), QStringLiteral("500"), QStringLiteral("1000")});
    ComboBox4->setCurrentIndex(0);
    Button4 = MakeButton(this, "Button4", 856, 160, 81, 33, AutoSendOffCaption);
    Button5 = MakeButton(this, "Button5", 672, 248, 105, 33, EchoOffCaption);

    // Configured with its series as the chart's own factory says; placed here all the same.
    Chart1 = CreateChart1(this);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->setGeometry(0, 336, 953, 313);

    BitBtn2 = MakeButton(this, "BitBtn2", 856, 296, 81, 33, WaveformOffCaption);

    Edit1 = Make<HiddenLineEdit>(this, "Edit1");
    Edit1->setGeometry(800, 296, 33, 21);
    Edit1->setText(QStringLiteral("Edit1"));
    Edit1->hide();
    Edit2 = Make<HiddenLineEdit>(this, "Edit2");
    Edit2->setGeometry(800, 264, 41, 21);
    Edit2->setText(QStringLiteral("Edit2"));
    Edit2->hide();

    BitBtn3 = MakeButton(this, "BitBtn3", 856, 248, 81, 33, QStringLiteral("Orvik淘宝官网"));
    BitBtn3->setFont(SansFont(11, true));
    SetTextColor(BitBtn3, QPalette::ButtonText, clBlueQ);
    BitBtn4 = MakeButton(this, "BitBtn4", 856, 208, 81, 33, QStringLiteral("帮助"));
    BitBtn4->setFont(SansFont(16, true));
    SetTextColor(BitBtn4, QPalette::ButtonText, clRedQ);

    QWidget* order[] = {ComboBox1, ComboBox2, BitBtn1,   Button1, ComboBox3, Button2,
                        Memo1,     Button3,   ComboBox4, Button4, Button5,   Chart1,
                        BitBtn2,   Edit1,     Edit2,     BitBtn3, BitBtn4};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    // Labels: no focus.
    Label1 =
        MakeLabel(this, "Label1", 664, 40, QStringLiteral("端口号："), SimSunBold(16), windowText);
    Label2 =
        MakeLabel(this, "Label2", 664, 88, QStringLiteral("波特率："), SimSunBold(16), windowText);
    Label14 =
        MakeLabel(this, "Label14", 672, 136, QStringLiteral("指令："), SimSunBold(16), windowText);
    Label5 = MakeLabel(this, "Label5", 672, 168, QStringLiteral("T/ms:"), SansFont(16, true),
                       windowText);
    Label6 =
        MakeLabel(this, "Label6", 672, 200, QStringLiteral("TX:"), SansFont(16, true), windowText);
    Label9 =
        MakeLabel(this, "Label9", 752, 200, QStringLiteral("0"), SansFont(16, true), windowText);
    Label8 =
        MakeLabel(this, "Label8", 672, 224, QStringLiteral("RX:"), SansFont(16, true), windowText);
    Label10 =
        MakeLabel(this, "Label10", 752, 224, QStringLiteral("0"), SansFont(16, true), windowText);

    Label7 =
        MakeLabel(Panel1, "Label7", 48, 57, QStringLiteral("距离:"), SimSunBold(37), clYellowQ);
    Label4 = MakeLabel(Panel1, "Label4", 240, 56, QString(), SimSunBold(48), clYellowQ);
    SetFill(Label4, clGreenQ);
    Label4->setMinimumHeight(48);
    Label4->adjustSize();
    Label3 = MakeLabel(Panel1, "Label3", 494, 56, QStringLiteral("mm"), SimSunBold(37), clYellowQ);
    Label11 = MakeLabel(Panel1, "Label11", 48, 136, QStringLiteral("测量模式："), SimSunBold(19),
                        clYellowQ);
    Label12 = MakeLabel(Panel1, "Label12", 232, 136, QString(), SimSunBold(19), clYellowQ);
    Label13 = MakeLabel(Panel1, "Label13", 312, 136, QStringLiteral("一般模式"), SimSunBold(19),
                        clYellowQ);

    // Numbers change with every reading; kerning adds nothing to digits but costs a shaping
    // pass each time a label sizes itself to its text.
    for (QWidget* w :
         std::initializer_list<QWidget*>{Label4, Label9, Label10, Label12, Edit1, Edit2}) {
        QFont f = w->font();
        f.setStyleStrategy(QFont::PreferNoShaping);
        w->setFont(f);
    }

    StatusBar1 = Make<QStatusBar>(this, "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(0, ClientHeight - 19, ClientWidth, 19);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
}

} // namespace rv
