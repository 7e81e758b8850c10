#include "rangeview/ui/SerialLink.h"

#include "rangeview/serial/CondVarEvent.h"
#include "rangeview/ui/SerialLog.h"
#include "rangeview/ui/Unit1.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <climits>
#include <stdexcept>
#include <utility>

namespace rv {

namespace {

QString FromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Text(const QComboBox* box)
{
    return box->currentText().toStdString();
}

QString Details(const std::optional<SystemError>& reason)
{
    return reason ? SerialErrorLine(*reason) : QString();
}

QEvent::Type FaultEventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// A fault the reader asks the window thread to show. Whoever deletes the event lets the reader
// go on: the window after the box was dismissed, or Qt dropping it unshown (Detach, the relay
// destroyed).
class FaultEvent final : public QEvent {
public:
    FaultEvent(ConnectionFault fault, std::optional<SystemError> reason,
               std::shared_ptr<CondVarEvent> done)
        : QEvent(FaultEventType()), Fault(fault), Reason(std::move(reason)), Done_(std::move(done))
    {
    }
    ~FaultEvent() override
    {
        ReceiveFromThread(this);
        Done_->Set();
    }
    FaultEvent(const FaultEvent&) = delete;
    FaultEvent& operator=(const FaultEvent&) = delete;

    const ConnectionFault Fault;
    const std::optional<SystemError> Reason;

private:
    const std::shared_ptr<CondVarEvent> Done_;
};

} // namespace

// Receives what the reader sends to the window and hands it on while the window exists.
class WindowConnectionHost::Relay final : public QObject {
public:
    explicit Relay(TForm1& window) : Window(&window) { }

    QPointer<TForm1> Window; // window thread only
    ConnectionPresenter* Presenter = nullptr; // window thread only

protected:
    bool event(QEvent* e) override
    {
        // The reader's events come through Qt's queue; the reader published each one.
        ReceiveFromThread(e);
        if (e->type() == CommNotifyEventType()) {
            // The window's own WM_COMMNOTIFY handler takes it; without a window it is dropped.
            if (TForm1* window = Window.data())
                QCoreApplication::sendEvent(window, e);
            return true;
        }
        if (e->type() == FaultEventType()) {
            if (Presenter != nullptr) {
                try {
                    const auto* fault = static_cast<FaultEvent*>(e);
                    Presenter->Present(fault->Fault, fault->Reason);
                } catch (...) {
                    // A box that cannot be shown is not shown.
                }
            }
            return true;
        }
        return QObject::event(e);
    }
};

WindowConnectionHost::WindowConnectionHost(TForm1& window)
    : Relay_(new Relay(window)), WindowThread_(QThread::currentThread())
{
}

WindowConnectionHost::~WindowConnectionHost()
{
    // The connection joins its readers, so the last reference is dropped on the window thread.
    // Only a reader that outlived its bound (stuck in a box) can drop it elsewhere; the relay
    // then goes with that thread's next turn of the window thread's loop.
    if (QThread::currentThread() == WindowThread_)
        delete Relay_;
    else
        Relay_->deleteLater();
}

void WindowConnectionHost::SetPresenter(ConnectionPresenter* presenter)
{
    Relay_->Presenter = presenter;
}

void WindowConnectionHost::Detach()
{
    {
        const std::lock_guard<std::mutex> lock(WaitLock_);
        Detached_.store(true);
    }
    WaitWake_.notify_all();
    Relay_->Window = nullptr;
    Relay_->Presenter = nullptr;
    // Deleting a queued notice box releases the reader blocked on it.
    QCoreApplication::removePostedEvents(Relay_);
}

TForm1* WindowConnectionHost::Window() const
{
    return Relay_->Window.data();
}

void WindowConnectionHost::Fault(ConnectionFault fault, const std::optional<SystemError>& reason)
{
    if (Detached_.load())
        return;
    if (QThread::currentThread() == WindowThread_) {
        if (Relay_->Presenter != nullptr)
            Relay_->Presenter->Present(fault, reason);
        return;
    }
    // Only the reader waits; the window thread shows the box from its event loop.
    auto done = std::make_shared<CondVarEvent>(false);
    auto* event = new FaultEvent(fault, reason, done);
    PublishToThread(event);
    QCoreApplication::postEvent(Relay_, event);
    done->Wait();
}

void WindowConnectionHost::Show(const LinkMessage& message,
                                const std::optional<SystemError>& reason)
{
    TForm1* window = Window();
    if (window == nullptr)
        return;
    const QString text = FromUtf8(message.Text);
    switch (message.Kind) {
    case MessageKind::Notice:
        window->ShowNotice(text, Details(reason));
        break;
    case MessageKind::OwnedBox:
        window->ShowOwnedBox(text, Details(reason));
        break;
    case MessageKind::ShortMessage:
        window->ShowShortMessage(text, Details(reason));
        break;
    }
}

void WindowConnectionHost::PortOpened()
{
    if (TForm1* window = Window())
        window->BitBtn1->setEnabled(false);
}

void WindowConnectionHost::PortClosing()
{
    if (TForm1* window = Window())
        window->SwitchWaveformOff();
}

void WindowConnectionHost::PortClosed()
{
    if (TForm1* window = Window())
        window->BitBtn1->setEnabled(true);
}

void WindowConnectionHost::TxCountChanged(std::int32_t txCount)
{
    if (TForm1* window = Window())
        window->ShowTxCount(txCount);
}

void WindowConnectionHost::AutoSendSwitched(bool on)
{
    if (TForm1* window = Window())
        window->Button4->setText(on ? AutoSendOnCaption : AutoSendOffCaption);
}

void WindowConnectionHost::EnableTimer(std::uint32_t periodMs)
{
    TForm1* window = Window();
    if (window == nullptr)
        return;
    QTimer* timer = window->Timer1;
    timer->stop();
    TimerIdleOn_ = false;
    if (periodMs == 0) {
        TimerIdleOn_ = true;
        return;
    }
    // A period beyond what a timer takes (a negative number typed by the user, read as an
    // unsigned count) runs at the longest one it takes, about 24.8 days: either way it means
    // "practically never", and a refused timer would report an error instead.
    const int interval =
        periodMs > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(periodMs);
    // Never early (a coarse timer may fire 5% early): auto-send at 50 ms sends at most 20
    // commands a second.
    timer->setTimerType(Qt::PreciseTimer);
    timer->start(interval);
    // A timer the platform refused has no id.
    if (!timer->isActive() || timer->timerId() <= 0) {
        timer->stop();
        throw std::runtime_error("Not enough timers available");
    }
}

void WindowConnectionHost::DisableTimer()
{
    TimerIdleOn_ = false;
    if (TForm1* window = Window())
        window->Timer1->stop();
}

void WindowConnectionHost::ProcessReceivedBytes(std::span<const std::uint8_t> bytes)
{
    if (TForm1* window = Window())
        window->ProcessReceivedBytes(bytes);
}

void WindowConnectionHost::PictureShown(std::chrono::nanoseconds frame)
{
    const auto next = std::chrono::steady_clock::now() + frame;
    NextPicture_.store(next.time_since_epoch().count(), std::memory_order_relaxed);
}

void WindowConnectionHost::WaitForNextPicture()
{
    // A picture shown meanwhile puts the next one later.
    for (;;) {
        const std::chrono::steady_clock::time_point next{
            std::chrono::steady_clock::duration(NextPicture_.load(std::memory_order_relaxed))};
        if (std::chrono::steady_clock::now() >= next)
            return;
        std::unique_lock<std::mutex> lock(WaitLock_);
        if (WaitWake_.wait_until(lock, next, [this] { return Detached_.load(); }))
            return;
    }
}

bool WindowConnectionHost::PostCommNotify(CommHandle handle)
{
    // A stream of data would otherwise be read, presented and handed over once per arrival, to
    // be shown a display frame later all the same: the reader holds the notification until the
    // picture is due, and the bytes that come meanwhile wait in the port for the same read.
    // The window thread's follow-up of a full buffer goes at once.
    if (QThread::currentThread() != WindowThread_)
        WaitForNextPicture();
    // Like posting to a window that no longer exists: the post fails. The application object
    // outlives every reader (they are joined before the window goes), so it is not looked at.
    if (Detached_.load())
        return false;
    auto* notify = new CommNotifyEvent(handle);
    PublishToThread(notify);
    QCoreApplication::postEvent(Relay_, notify);
    return true;
}

// ---------------------------------------------------------------------------------------------

SerialLink::SerialLink(TForm1& form, std::shared_ptr<SerialPlatform> platform)
    : Form_(form), Host_(std::make_shared<WindowConnectionHost>(form)),
      Connection_(std::make_unique<SerialConnection>(std::move(platform), Host_)),
      Presenter_(std::make_unique<ConnectionPresenter>(*Connection_, *Host_))
{
    Host_->SetPresenter(Presenter_.get());
    SerialLinkHooks& h = Form_.Hooks;
    h.BitBtn1Click = [this] { Presenter_->Open(Text(Form_.ComboBox1), Text(Form_.ComboBox2)); };
    h.Button1Click = [this] { Connection_->Close(); };
    h.Button2Click = [this] { Presenter_->Send(Text(Form_.ComboBox3)); };
    h.Timer1Timer = [this] { Presenter_->Tick(Text(Form_.ComboBox3)); };
    h.Button4Click = [this] {
        // The switch reads as its caption: exactly "自动发送" is off, any other caption on.
        if (Form_.Button4->text() == AutoSendOffCaption)
            Presenter_->StartAutoSend(Text(Form_.ComboBox4));
        else
            Connection_->StopAutoSend();
    };
    h.ResetTxCount = [this] { Connection_->ResetTxCount(); };
    // Closing the window with the port open runs the close sequence.
    h.FormClose = [this] { Connection_->Close(); };
    h.CommNotify = [this](std::uint64_t handle) { Connection_->OnCommNotify(handle); };
}

SerialLink::~SerialLink()
{
    Form_.Hooks = SerialLinkHooks{};
    Host_->Detach();
    Connection_.reset();
}

} // namespace rv
