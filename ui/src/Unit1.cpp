#include "rangeview/ui/Unit1.h"

#include "rangeview/chart/Axis.h"
#include "rangeview/chart/NumberFormat.h"
#include "rangeview/chart/Series.h"
#include "rangeview/chart/qt/ChartControl.h"
#include "rangeview/protocol/CommandTable.h"
#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/ui/LogMemo.h"
#include "rangeview/ui/ProgramTitle.h"
#include "rangeview/ui/SerialLink.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QFontMetricsF>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QStatusBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>

#include <array>
#include <bit>

namespace rv {

const QString TForm1::ActivationNote = QStringLiteral(
    "注释：点击[显示按钮]将在数据显示框显示上传上来的十六进制数据；点击[显示波形]按钮将显示缩小10倍的距离数据波形；点击[清除]按钮将清空数据显示框和波形显示");
const QString TForm1::HelpNote = QStringLiteral(
    "注释：点击[显示按钮]将在数据显示框显示上传上来的十六进制数据；点击[显示波形]按钮将显示缩小10倍的距离数据波形;点击[清除]按钮将清空数据显示框和波形显示");
// The maker's shop on Taobao.
const QString TForm1::ShopPageAddress = QStringLiteral("https://orvik.taobao.com/");

namespace {

// Converted once: the read-out shows a mode name on every frame.
const std::array<QString, 4> ModeNameTexts = [] {
    std::array<QString, 4> texts;
    for (std::size_t i = 0; i < texts.size(); ++i)
        texts[i] =
            QString::fromUtf8(ModeNames[i].data(), static_cast<qsizetype>(ModeNames[i].size()));
    return texts;
}();

// "XX " for every byte value, so the echo costs one append per byte.
struct HexPieces {
    std::array<char16_t, 256 * 3> Chars{};
    constexpr HexPieces()
    {
        constexpr char16_t digits[] = u"0123456789ABCDEF";
        for (int b = 0; b < 256; ++b) {
            Chars[static_cast<std::size_t>(b * 3)] = digits[b >> 4];
            Chars[static_cast<std::size_t>(b * 3 + 1)] = digits[b & 15];
            Chars[static_cast<std::size_t>(b * 3 + 2)] = u' ';
        }
    }
    QStringView Piece(std::uint8_t b) const
    {
        return QStringView(Chars.data() + static_cast<std::size_t>(b) * 3, 3);
    }
};
constexpr HexPieces Hex;

const QString LineBreak = QStringLiteral("\r\n");

} // namespace

QEvent::Type CommNotifyEventType()
{
    // Not asked for as QEvent::User + 68: code that uses that number without registering it
    // would then still be taken for the notification.
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

TForm1::TForm1(MessageSink* sink, PortLister ports, QWidget* parent)
    : QWidget(parent), Ports_(std::move(ports))
{
    if (sink == nullptr) {
        OwnSink_ = std::make_unique<QtMessageSink>();
        sink = OwnSink_.get();
    }
    Sink_ = sink;
    if (!Ports_)
        Ports_ = &EnumerateSerialPorts;
    // The system's decimal separator, read once like the rest of the locale settings.
    DiagFormat_.DecimalSeparator = QLocale::system().decimalPoint().toStdString();

    PictureTimer_ = new QTimer(this);
    PictureTimer_->setSingleShot(true);
    PictureTimer_->setTimerType(Qt::PreciseTimer);
    connect(PictureTimer_, &QTimer::timeout, this, [this] {
        QEvent request(QEvent::UpdateRequest);
        QCoreApplication::sendEvent(this, &request);
    });

    BuildLayout();
    ConnectHandlers();
    Dispatch([this] { FormCreate(); });
}

TForm1::~TForm1()
{
    // The link goes first, while every control it might still look at exists.
    SerialLink_.reset();
}

SerialLink& TForm1::AttachSerialLink(std::shared_ptr<SerialPlatform> platform)
{
    SerialLink_.reset();
    SerialLink_ = std::make_unique<SerialLink>(*this, std::move(platform));
    return *SerialLink_;
}

TChartSeries& TForm1::Series1() const
{
    return *Chart1->Series1();
}

void TForm1::ConnectHandlers()
{
    auto route = [this](QPushButton* button, void (TForm1::*handler)()) {
        connect(button, &QPushButton::clicked, this,
                [this, handler] { Dispatch([this, handler] { (this->*handler)(); }); });
    };
    route(BitBtn1, &TForm1::BitBtn1Click);
    route(Button1, &TForm1::Button1Click);
    route(Button2, &TForm1::Button2Click);
    route(Button3, &TForm1::Button3Click);
    route(Button4, &TForm1::Button4Click);
    route(Button5, &TForm1::Button5Click);
    route(BitBtn2, &TForm1::BitBtn2Click);
    route(BitBtn3, &TForm1::BitBtn3Click);
    route(BitBtn4, &TForm1::BitBtn4Click);
    connect(Timer1, &QTimer::timeout, this, [this] { Dispatch([this] { Timer1Timer(); }); });

    // The user picking an item or editing the text; programmatic changes do not count.
    connect(ComboBox3, &QComboBox::activated, this,
            [this] { Dispatch([this] { ComboBox3Change(); }); });
    connect(ComboBox3->lineEdit(), &QLineEdit::textEdited, this,
            [this] { Dispatch([this] { ComboBox3Change(); }); });

    Chart1->Chart().OnRepaintNow = [this] { RepaintNow(Chart1); };
    // The window paces its pictures, the chart's among them; a chart holding back on its own
    // would show a reading a picture or two after the read-out does.
    Chart1->SetMinRepaintInterval(0);
    Series1().OnAfterAdd = [this](TChartSeries* sender, std::int32_t valueIndex) {
        Series1AfterAdd(*sender, valueIndex);
    };
    // A failure while the chart paints or handles the mouse is reported once the paint or
    // the mouse event is over, not from inside it.
    Chart1->OnError = [this](std::exception_ptr error) {
        QMetaObject::invokeMethod(
            this, [this, error] { ReportError(error); }, Qt::QueuedConnection);
    };
}

// ---------------------------------------------------------------------------------------------
// Start-up and activation

void TForm1::FormCreate()
{
    // The port starts closed: the serial link is created that way.
    const QStringList names = Ports_();
    ComboBox1->clear();
    ComboBox1->setEditText(QString());
    ComboBox1->addItems(names);

    // An empty port list leaves ComboBox1 without a selection and with empty text.
    ComboBox1->setCurrentIndex(ComboBox1->count() > 0 ? 0 : -1);
    ComboBox2->setCurrentIndex(0);
    ComboBox3->setCurrentIndex(0);

    TCustomChartAxis& H = *Series1().ResolvedHorizAxis();
    H.SetMinimum(0);
    H.SetMaximum(199);

    LastMode = 4;
}

void TForm1::ComboBox1DropDown()
{
    const QStringList names = Ports_();
    QStringList shown;
    for (int i = 0; i < ComboBox1->count(); ++i)
        shown.append(ComboBox1->itemText(i));
    if (names == shown)
        return;
    // What the user typed or picked stays, selected again when it is still in the list.
    const QString text = ComboBox1->currentText();
    const QSignalBlocker quiet(ComboBox1);
    ComboBox1->clear();
    ComboBox1->addItems(names);
    ComboBox1->setCurrentIndex(static_cast<int>(names.indexOf(text)));
    ComboBox1->setEditText(text);
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!ShownOnce_) {
        ShownOnce_ = true;
        // Once the window system has placed the new window and knows its frame.
        QMetaObject::invokeMethod(
            this, [this] { FitOnScreen(); }, Qt::QueuedConnection);
        Dispatch([this] { FormActivate(); });
    }
}

// Every control paints into the window's one picture, which Qt brings up to date on an update
// request. Received data can change the controls a thousand times a second, but no screen
// shows more than about sixty pictures a second: a request that comes sooner than one frame
// after the last picture waits for the frame's end, and the changes made meanwhile all go into
// that one picture. The controls' values themselves change at once.
bool TForm1::PaceUpdateRequest(QEvent* event)
{
    if (SincePicture_.isValid() && !RepaintingNow_) {
        const qint64 left = FrameIntervalNs - SincePicture_.nsecsElapsed();
        if (left > 0) {
            if (!PictureTimer_->isActive())
                PictureTimer_->start(static_cast<int>((left + 999'999) / 1'000'000));
            event->accept();
            return true;
        }
    }
    PictureTimer_->stop();
    SincePicture_.start();
    if (SerialLink_)
        SerialLink_->Host()->PictureShown(std::chrono::nanoseconds(FrameIntervalNs));
    return QWidget::event(event);
}

void TForm1::RepaintNow(QWidget* widget)
{
    const bool outer = RepaintingNow_;
    RepaintingNow_ = true;
    try {
        widget->repaint();
    } catch (...) {
        RepaintingNow_ = outer;
        throw;
    }
    RepaintingNow_ = outer;
}

bool TForm1::event(QEvent* event)
{
    if (event->type() == QEvent::UpdateRequest)
        return PaceUpdateRequest(event);
    if (event->type() == CommNotifyEventType()) {
        const std::uint64_t handle = static_cast<CommNotifyEvent*>(event)->Handle;
        Dispatch([this, handle] {
            if (Hooks.CommNotify)
                Hooks.CommNotify(handle);
        });
        // What was read goes into the coming picture; what arrives meanwhile, into the next.
        if (isVisible() && SerialLink_)
            SerialLink_->Host()->PictureShown(std::chrono::nanoseconds(FrameIntervalNs));
        return true;
    }
    return QWidget::event(event);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // Closing always goes ahead; the serial link releases the port first.
    if (Hooks.FormClose)
        Dispatch([this] { Hooks.FormClose(); });
    QWidget::closeEvent(event);
}

void TForm1::FormActivate()
{
    SetStatusText(ActivationNote);
}

void TForm1::BitBtn4Click()
{
    SetStatusText(HelpNote);
}

void TForm1::ComboBox3Change()
{
    // Editing the text so that it no longer is the selected item's text leaves no item
    // selected; Qt itself keeps reporting the last selection while the user types.
    int index = ComboBox3->currentIndex();
    if (index >= 0 && ComboBox3->currentText() != ComboBox3->itemText(index))
        index = -1;
    if (index >= 0 && index < static_cast<int>(CommandTable.size())) {
        const std::string_view note = CommandTable[static_cast<std::size_t>(index)].Note;
        SetStatusText(QString::fromUtf8(note.data(), static_cast<qsizetype>(note.size())));
    }
}

void TForm1::BitBtn3Click()
{
    // A failure to open the page is ignored.
    QDesktopServices::openUrl(QUrl(ShopPageAddress));
}

// ---------------------------------------------------------------------------------------------
// Serial link: the wiring fills the hooks.

void TForm1::BitBtn1Click()
{
    if (Hooks.BitBtn1Click)
        Hooks.BitBtn1Click();
}

void TForm1::Button1Click()
{
    if (Hooks.Button1Click)
        Hooks.Button1Click();
}

void TForm1::Button2Click()
{
    if (Hooks.Button2Click)
        Hooks.Button2Click();
}

void TForm1::Timer1Timer()
{
    if (Hooks.Timer1Timer)
        Hooks.Timer1Timer();
}

void TForm1::Button4Click()
{
    if (Hooks.Button4Click)
        Hooks.Button4Click();
}

// ---------------------------------------------------------------------------------------------
// Log, counters and display switches

void TForm1::Button5Click()
{
    Button5->setText(Button5->text() == EchoOffCaption ? EchoOnCaption : EchoOffCaption);
}

void TForm1::BitBtn2Click()
{
    BitBtn2->setText(BitBtn2->text() == WaveformOffCaption ? WaveformOnCaption
                                                           : WaveformOffCaption);
}

void TForm1::SwitchWaveformOff()
{
    BitBtn2->setText(WaveformOffCaption);
}

void TForm1::ShowTxCount(std::int32_t value)
{
    SetCaptionNumber(Label9, value);
}

std::int32_t TForm1::TxCount() const
{
    return SerialLink_ ? SerialLink_->Connection().TxCount() : 0;
}

void TForm1::PresetPort(const QString& port)
{
    ComboBox1->setEditText(port);
}

void TForm1::StartDemo()
{
    BitBtn1->click();
    Button5->click();
    BitBtn2->click();
}

void TForm1::Button3Click()
{
    Memo1->Clear();
    SetCaption(Label9, QStringLiteral("0"));
    if (Hooks.ResetTxCount)
        Hooks.ResetTxCount();
    RxCount = 0;
    SetCaption(Label10, QStringLiteral("0"));
    Series1().ClearPoints();
    SampleIndex = 0;
    Tracker.Reset();
    TCustomChartAxis& H = *Series1().ResolvedHorizAxis();
    if (H.Maximum() < 0) {
        // Panned below 0: "Minimum := 0" would be refused and the clear would end with an
        // error and the old window. One combined write lands on the same range.
        H.SetRange(0, 199);
    } else {
        H.SetMinimum(0);
        H.SetMaximum(199);
    }
}

// ---------------------------------------------------------------------------------------------
// Received data

// While a read is being presented, label sizes and the hidden diagnostics are brought up to
// date once at its end instead of once per frame: nothing can look at them in between, and the
// end comes also when the chart throws.
class TForm1::PresentationBatch {
public:
    explicit PresentationBatch(TForm1& form) : Form_(form) { ++Form_.BatchDepth_; }
    ~PresentationBatch()
    {
        if (--Form_.BatchDepth_ == 0) {
            try {
                Form_.FlushPresentation();
            } catch (...) {
                // Only sizes and hidden texts were pending.
            }
        }
    }
    PresentationBatch(const PresentationBatch&) = delete;
    PresentationBatch& operator=(const PresentationBatch&) = delete;

private:
    TForm1& Form_;
};

void TForm1::FlushPresentation()
{
    if (PendingDiag_.Set) {
        PendingDiag_.Set = false;
        WriteDiagnostics(PendingDiag_.MaxIndex, PendingDiag_.MinIndex, PendingDiag_.VMaximum,
                         PendingDiag_.VMinimum);
    }
    for (QLabel*& label : Unsized_) {
        if (label != nullptr)
            FitToText(label);
        label = nullptr;
    }
}

void TForm1::ProcessReceivedBytes(std::span<const std::uint8_t> bytes)
{
    PresentationBatch batch(*this);
    // Wraps like the 32-bit counter it is (after 2 GiB), without undefined behaviour.
    RxCount = static_cast<std::int32_t>(static_cast<std::uint32_t>(RxCount) +
                                        static_cast<std::uint32_t>(bytes.size()));
    SetCaptionNumber(Label10, RxCount);

    // Keeps its capacity between calls, so appending a byte's piece never allocates.
    LogText.resize(0);
    const bool echo = Button5->text() == EchoOnCaption;
    const bool waveform = BitBtn2->text() == WaveformOnCaption;
    if (echo) {
        // Three characters per byte, and a line break per frame of at least 5 bytes.
        LogText.reserve(static_cast<qsizetype>(bytes.size() * 3 + (bytes.size() / 5 + 1) * 2));
    }

    // The read-out labels get the texts the frames of this read leave them with, once: the
    // frames before the last would be overwritten before anything could show them. They are
    // written also when the chart throws midway, as far as the frames got.
    std::optional<std::uint16_t> distance;
    std::optional<std::uint8_t> mode;
    std::optional<std::uint8_t> modeName;
    const auto showReadOut = [&] {
        if (distance)
            SetCaptionNumber(Label4, *distance);
        if (mode)
            SetCaptionNumber(Label12, *mode);
        if (modeName)
            SetCaption(Label13, ModeNameTexts[*modeName]);
    };
    try {
        for (const std::uint8_t b : bytes) {
            if (echo)
                LogText.append(Hex.Piece(b));
            const std::optional<MeasurementReading> reading = Decoder.FeedByte(b);
            if (!reading)
                continue;
            distance = reading->Distance;
            if (waveform) {
                const double y = static_cast<double>(static_cast<float>(reading->Distance / 10.0));
                Series1().AddPoint(static_cast<double>(SampleIndex), y, std::string_view(),
                                   UseSeriesColor);
                ++SampleIndex;
            }
            mode = reading->Mode;
            if (reading->Mode != LastMode) {
                LastMode = reading->Mode;
                if (LastMode < ModeNameTexts.size())
                    modeName = LastMode;
            }
            if (echo)
                LogText.append(LineBreak);
        }
    } catch (...) {
        showReadOut();
        throw;
    }
    showReadOut();

    if (echo) {
        Memo1->ReplaceSelection(LogText);
        Memo1->ScrollToBottom();
    }
}

void TForm1::Series1AfterAdd(TChartSeries& Sender, std::int32_t /*ValueIndex*/)
{
    Tracker.AfterAdd(Sender, SampleIndex, this);
}

void TForm1::Diagnostics(std::uint8_t maxIndex, std::uint8_t minIndex, double vMaximum,
                         double vMinimum)
{
    if (BatchDepth_ > 0) {
        PendingDiag_ = {true, maxIndex, minIndex, vMaximum, vMinimum};
        return;
    }
    WriteDiagnostics(maxIndex, minIndex, vMaximum, vMinimum);
}

void TForm1::WriteDiagnostics(std::uint8_t maxIndex, std::uint8_t minIndex, double vMaximum,
                              double vMinimum)
{
    // Both boxes are written only when their text changes: the indices move with every point,
    // the range seldom.
    char16_t buf[8];
    char16_t* p = buf;
    const auto put = [&p](std::uint8_t v) {
        if (v >= 100)
            *p++ = static_cast<char16_t>(u'0' + v / 100);
        if (v >= 10)
            *p++ = static_cast<char16_t>(u'0' + v / 10 % 10);
        *p++ = static_cast<char16_t>(u'0' + v % 10);
    };
    put(maxIndex);
    *p++ = u',';
    put(minIndex);
    const QStringView indices(buf, p - buf);
    if (QStringView(Edit2->text()) != indices)
        Edit2->setText(indices.toString());

    if (!DiagText_.isNull() && Edit1->text() == DiagText_ &&
        std::bit_cast<std::uint64_t>(vMaximum) == std::bit_cast<std::uint64_t>(DiagMaximum_) &&
        std::bit_cast<std::uint64_t>(vMinimum) == std::bit_cast<std::uint64_t>(DiagMinimum_)) {
        return;
    }
    const std::string text = FormatFloat("###0.00", vMaximum, DiagFormat_) + ',' +
                             FormatFloat("###0.00", vMinimum, DiagFormat_);
    DiagText_ = QString::fromStdString(text);
    DiagMaximum_ = vMaximum;
    DiagMinimum_ = vMinimum;
    if (Edit1->text() != DiagText_)
        Edit1->setText(DiagText_);
}

// ---------------------------------------------------------------------------------------------
// Messages

void TForm1::ShowNotice(const QString& text, const QString& details)
{
    Sink_->ShowNotice(text, details);
}

void TForm1::ShowShortMessage(const QString& text, const QString& details)
{
    Sink_->ShowShortMessage(text, details);
    // The short message was a window of this program: the main window is activated again.
    Dispatch([this] { FormActivate(); });
}

void TForm1::ShowOwnedBox(const QString& text, const QString& details)
{
    // A platform box: closing it is no activation of the window.
    Sink_->ShowOwnedBox(this, text, details);
}

void TForm1::ReportError(std::exception_ptr error) noexcept
{
    try {
        QString text;
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            text = QString::fromUtf8(e.what());
        } catch (...) {
            // Nothing but standard exceptions is raised on purpose; say something all the same.
            text = QStringLiteral("Unknown exception");
        }
        Sink_->ShowErrorReport(ErrorReportText(text));
    } catch (...) {
        // Showing the report failed (out of memory); the program goes on regardless.
    }
}

// ---------------------------------------------------------------------------------------------
// Small helpers

QString TForm1::StatusText() const
{
    return StatusBar1->currentMessage();
}

void TForm1::SetStatusText(const QString& text)
{
    StatusBar1->showMessage(text);
}

void TForm1::SetCaption(QLabel* label, const QString& text)
{
    if (label->text() == text)
        return;
    label->setText(text);
    SizeToText(label);
}

void TForm1::SizeToText(QLabel* label)
{
    if (BatchDepth_ == 0) {
        FitToText(label);
        return;
    }
    for (QLabel*& slot : Unsized_) {
        if (slot == label)
            return;
        if (slot == nullptr) {
            slot = label;
            return;
        }
    }
    FitToText(label);
}

namespace {

// Whether every string of n digits is as wide as any other in this font (n = 1 and 2, which
// covers kerning between digits).
bool DigitsAreEvenlyWide(const QFont& font)
{
    const QFontMetricsF fm(font);
    const qreal one = fm.horizontalAdvance(QStringLiteral("0"));
    const qreal two = fm.horizontalAdvance(QStringLiteral("00"));
    char16_t pair[2];
    for (char16_t a = u'0'; a <= u'9'; ++a) {
        if (fm.horizontalAdvance(QString(QChar(a))) != one)
            return false;
        for (char16_t b = u'0'; b <= u'9'; ++b) {
            pair[0] = a;
            pair[1] = b;
            if (fm.horizontalAdvance(QString::fromUtf16(pair, 2)) != two)
                return false;
        }
    }
    return true;
}

bool AllDigits(QStringView text)
{
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return !text.isEmpty();
}

} // namespace

// Sizing a label to its text measures the text (a layout pass) each time; for the read-out's
// numbers a text of as many digits as before has the size it had, in a font whose digits are
// all equally wide. Any other text, a new font, or a size someone else set is measured.
void TForm1::FitToText(QLabel* label)
{
    LabelFit* fit = nullptr;
    for (LabelFit& f : Fits_) {
        if (f.Label == label || f.Label == nullptr) {
            fit = &f;
            break;
        }
    }
    if (fit == nullptr) {
        label->adjustSize();
        return;
    }
    if (fit->Label != label || !(fit->Font == label->font())) {
        if (fit->Label != label)
            fit->Pinned = false;
        fit->Label = label;
        fit->Font = label->font();
        fit->EvenDigits = DigitsAreEvenlyWide(fit->Font);
        fit->Digits = -1;
    }
    const QString& text = label->text();
    const qsizetype digits = fit->EvenDigits && AllDigits(text) ? text.size() : -1;
    if (digits >= 0 && digits == fit->Digits && label->size() == fit->Size)
        return;
    // A label of one fixed size takes a new text without asking its parent to lay it out (an
    // event posted on every reading otherwise): it is held at the size its text needs, and let
    // go only to be measured again.
    if (!fit->Pinned) {
        fit->OwnMinimum = label->minimumSize();
        fit->Pinned = true;
    }
    label->setMinimumSize(fit->OwnMinimum);
    label->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    label->adjustSize();
    label->setFixedSize(label->size());
    fit->Digits = digits;
    fit->Size = label->size();
}

void TForm1::SetCaptionNumber(QLabel* label, std::int64_t value)
{
    // Formats on the stack and leaves the label alone when the text is already there, so a
    // steady reading costs no allocation.
    char16_t buf[24];
    char16_t* end = buf + std::size(buf);
    char16_t* p = end;
    std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    do {
        *--p = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        *--p = u'-';
    const QStringView text(p, end - p);
    if (QStringView(label->text()) == text)
        return;
    label->setText(text.toString());
    SizeToText(label);
}

} // namespace rv
