#pragma once

#include "rangeview/chart/NumberFormat.h"
#include "rangeview/common/ThreadHandOff.h"
#include "rangeview/protocol/FrameDecoder.h"
#include "rangeview/ui/MessageSink.h"
#include "rangeview/ui/SerialPorts.h"
#include "rangeview/ui/WaveformTracker.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QFont>
#include <QSize>
#include <QString>
#include <QWidget>

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTimer;

namespace rv {

class ChartControl;
class SerialLink;
class SerialPlatform;
class TLogMemo;
class TChartSeries;

// The serial link plugs in here; the window's buttons and timer route through these.
// Unset hooks do nothing.
struct SerialLinkHooks {
    std::function<void()> BitBtn1Click; // open the port
    std::function<void()> Button1Click; // close the port
    std::function<void()> Button2Click; // send once
    std::function<void()> Button4Click; // auto-send on/off
    std::function<void()> Timer1Timer; // auto-send tick
    std::function<void()> ResetTxCount; // the clear button's part of the transmit count
    std::function<void()> FormClose; // the window is closing (release the port)
    std::function<void(std::uint64_t)> CommNotify; // WM_COMMNOTIFY with its connection handle
};

// WM_COMMNOTIFY, window message 68: the reader's notification that bytes have arrived, posted
// to the window. 68 is the number it is known and logged by; Qt carries it as an event type
// registered for it alone, so no other event (a plain QEvent::User + 68 among them) can be
// taken for it.
inline constexpr int CommNotifyMessage = 68;
QEvent::Type CommNotifyEventType();
inline const QEvent::Type WM_COMMNOTIFY = CommNotifyEventType();

// The event WindowConnectionHost posts for the reader; the window's event handler hands its
// handle to the serial link.
class CommNotifyEvent final : public QEvent {
public:
    explicit CommNotifyEvent(std::uint64_t handle) : QEvent(CommNotifyEventType()), Handle(handle)
    {
    }
    // Freed on the window thread, delivered or not.
    ~CommNotifyEvent() override { ReceiveFromThread(this); }
    CommNotifyEvent(const CommNotifyEvent&) = delete;
    CommNotifyEvent& operator=(const CommNotifyEvent&) = delete;
    const std::uint64_t Handle; // the connection that posted it
};

// Captions the switches are recognised by.
inline const QString EchoOnCaption = QStringLiteral("不显示");
inline const QString EchoOffCaption = QStringLiteral("显示");
inline const QString WaveformOnCaption = QStringLiteral("关闭显示");
inline const QString WaveformOffCaption = QStringLiteral("显示波形");
inline const QString AutoSendOffCaption = QStringLiteral("自动发送");
inline const QString AutoSendOnCaption = QStringLiteral("停止发送");

// The program's one window.
class TForm1 : public QWidget, private WaveformDiagnostics {
    Q_OBJECT
public:
    // sink: where messages go (null: the real boxes). ports: the port list at start-up
    // (empty: the platform's serial ports).
    explicit TForm1(MessageSink* sink = nullptr, PortLister ports = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    TChartSeries& Series1() const;

    // At a display scale that makes the fixed window larger than the screen's free area (150 %
    // on a 1920 x 1080 screen with a taskbar), it would open cut off. The factor by which the
    // application's scale has to be multiplied for the whole window to fit the primary screen:
    // to the largest whole number of eighths that fits, never below 100 %; 1 where the window
    // fits as it is. Needs the application object; Qt takes a factor (QT_SCALE_FACTOR) only
    // as the application object is made.
    static qreal ScaleFactorToFit();

    // Wires the window to a serial connection on this platform (replacing an earlier one,
    // whose port is released). The window owns it.
    SerialLink& AttachSerialLink(std::shared_ptr<SerialPlatform> platform);
    SerialLink* Link() const { return SerialLink_.get(); }

    // The transmit count; the connection owns it (0 without one).
    std::int32_t TxCount() const;
    // The port name ComboBox1 starts with (the command line's choice).
    void PresetPort(const QString& port);
    // Open, hex echo on, waveform on: through the buttons, as the user would.
    void StartDemo();

    // ---- handlers ----
    void FormCreate();
    void FormActivate();
    void BitBtn1Click();
    void Button1Click();
    void Button2Click();
    void Timer1Timer();
    void Button4Click();
    void ComboBox3Change();
    void ComboBox1DropDown();
    void Button3Click();
    void Button5Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void BitBtn4Click();
    void Series1AfterAdd(TChartSeries& Sender, std::int32_t ValueIndex);

    // Takes the bytes of one read (window thread). Exceptions from the chart propagate.
    void ProcessReceivedBytes(std::span<const std::uint8_t> bytes);

    // ---- for the serial link ----
    // `details`: the system's reason behind the message, offered by the box (empty: none).
    // "Notice" box; any thread; returns when dismissed.
    void ShowNotice(const QString& text, const QString& details = QString());
    // Short message; window thread; the window is activated again when it closes.
    void ShowShortMessage(const QString& text, const QString& details = QString());
    // Box owned by this window with the platform's default caption ("No CreateThread!").
    void ShowOwnedBox(const QString& text, const QString& details = QString());
    // The waveform switch back to off.
    void SwitchWaveformOff();
    // Label9 shows the connection's transmit count.
    void ShowTxCount(std::int32_t value);

    // Runs a handler body; an exception ends it and is shown by the general error report.
    // Nothing ever escapes into the event loop.
    template <class F>
    void Dispatch(F&& body) noexcept
    {
        try {
            body();
        } catch (...) {
            ReportError(std::current_exception());
        }
    }

    // Status bar text.
    QString StatusText() const;
    void SetStatusText(const QString& text);

    // The help note of the activation (full-width semicolon) and of the help button (ASCII).
    static const QString ActivationNote;
    static const QString HelpNote;
    // The maker's shop page opened by BitBtn3.
    static const QString ShopPageAddress;

    MessageSink& Messages() const { return *Sink_; }

    // The shortest time between two pictures of the window, in nanoseconds: one display frame.
    static constexpr qint64 FrameIntervalNs = 1'000'000'000 / 60;
    // Paints the widget and shows it at once, frame or not (the chart's zoom animation draws
    // its steps this way, without returning to the event loop in between).
    void RepaintNow(QWidget* widget);

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The link drives the controls and sets the hooks; tests reach the controls and the state
    // through TForm1TestAccess (defined with the test support, never in the product).
    friend class SerialLink;
    friend class WindowConnectionHost;
    friend struct TForm1TestAccess;

    // ---- controls; each one's objectName is its member name ----
    QComboBox* ComboBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QFrame* Panel1 = nullptr;
    QPushButton* Button1 = nullptr;
    QComboBox* ComboBox3 = nullptr;
    QPushButton* Button2 = nullptr;
    TLogMemo* Memo1 = nullptr;
    QPushButton* Button3 = nullptr;
    QComboBox* ComboBox4 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    ChartControl* Chart1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QPushButton* BitBtn3 = nullptr;
    QPushButton* BitBtn4 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label13 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QTimer* Timer1 = nullptr;

    // ---- window state ----
    std::int32_t RxCount = 0;
    std::int64_t SampleIndex = 0;
    std::uint8_t LastMode = 4;
    FrameDecoder Decoder;
    WaveformTracker Tracker;
    QString LogText;

    // Set by the serial link.
    SerialLinkHooks Hooks;

    void BuildLayout();
    // Keeps the window at its fixed place where it fits the screen it opens on; otherwise moves
    // it the least distance that makes it fit the screen's available area.
    void FitOnScreen();
    void ConnectHandlers();
    void ReportError(std::exception_ptr error) noexcept;
    void SetCaption(QLabel* label, const QString& text);
    void SetCaptionNumber(QLabel* label, std::int64_t value);
    void SizeToText(QLabel* label);
    void FitToText(QLabel* label);
    void Diagnostics(std::uint8_t maxIndex, std::uint8_t minIndex, double vMaximum,
                     double vMinimum) override;
    void WriteDiagnostics(std::uint8_t maxIndex, std::uint8_t minIndex, double vMaximum,
                          double vMinimum);
    class PresentationBatch;
    void FlushPresentation();
    bool PaceUpdateRequest(QEvent* event);

    std::unique_ptr<QtMessageSink> OwnSink_;
    MessageSink* Sink_ = nullptr;
    PortLister Ports_;
    bool ShownOnce_ = false;
    TFormatSettings DiagFormat_; // for the diagnostics
    int BatchDepth_ = 0;
    std::array<QLabel*, 8> Unsized_{};
    // What a label was last sized to, so that a number of as many digits as before needs no
    // new measurement.
    struct LabelFit {
        QLabel* Label = nullptr;
        QFont Font;
        bool EvenDigits = false; // every digit string of one length is as wide as the others
        qsizetype Digits = -1; // length of the all-digit text sized to; -1: other text
        QSize Size;
        bool Pinned = false; // held at its size; OwnMinimum is the minimum it had before
        QSize OwnMinimum;
    };
    std::array<LabelFit, 8> Fits_{};
    QString DiagText_; // Edit1's text as last written, with the values it shows
    double DiagMaximum_ = 0;
    double DiagMinimum_ = 0;
    struct {
        bool Set = false;
        std::uint8_t MaxIndex = 0;
        std::uint8_t MinIndex = 0;
        double VMaximum = 0;
        double VMinimum = 0;
    } PendingDiag_;
    std::unique_ptr<SerialLink> SerialLink_;
    QElapsedTimer SincePicture_;
    bool RepaintingNow_ = false;
    QTimer* PictureTimer_ = nullptr;
};

} // namespace rv
