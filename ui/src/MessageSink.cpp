#include "rangeview/ui/MessageSink.h"

#include "rangeview/ui/ProgramTitle.h"

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <QTranslator>

namespace rv {

// The details button takes its caption from Qt's own translation of QMessageBox, which the
// Windows package does not ship and a Linux desktop has only with its Qt translations and a
// Chinese locale. The rest of the window is Chinese everywhere, so this sink translates the
// button's two captions itself.
class QtMessageSink::DetailsCaptions final : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        if (qstrcmp(context, "QMessageBox") != 0 || sourceText == nullptr)
            return {};
        if (qstrcmp(sourceText, "Show Details...") == 0)
            return QStringLiteral("显示详细信息...");
        if (qstrcmp(sourceText, "Hide Details...") == 0)
            return QStringLiteral("隐藏详细信息...");
        return {};
    }
    bool isEmpty() const override { return false; }
};

namespace {

// The reason behind the message, one click away; the box's text, caption and OK button stay.
void OfferDetails(QMessageBox& box, const QString& details)
{
    if (!details.isEmpty())
        box.setDetailedText(details);
}

} // namespace

QtMessageSink::QtMessageSink(QObject* parent)
    : QObject(parent), Captions_(std::make_unique<DetailsCaptions>())
{
    QCoreApplication::installTranslator(Captions_.get());
}

QtMessageSink::~QtMessageSink()
{
    QCoreApplication::removeTranslator(Captions_.get());
}

void QtMessageSink::ShowNotice(const QString& text, const QString& details)
{
    if (QThread::currentThread() == thread()) {
        ShowNoticeHere(text, details);
        return;
    }
    // From another thread (the serial reader): show it on the window thread and keep this
    // thread blocked until it is dismissed. If the sink goes away first, the call is dropped
    // and the caller released.
    QMetaObject::invokeMethod(
        this, [this, text, details] { ShowNoticeHere(text, details); },
        Qt::BlockingQueuedConnection);
}

void QtMessageSink::ShowNoticeHere(const QString& text, const QString& details)
{
    // No owner and not modal, so the main window keeps working while the caller waits in a
    // local event loop.
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Notice"), text, QMessageBox::Ok);
    OfferDetails(box, details);
    box.setWindowModality(Qt::NonModal);
    QEventLoop loop;
    QObject::connect(&box, &QMessageBox::finished, &loop, &QEventLoop::quit);
    box.show();
    loop.exec();
}

namespace {

void CentreOnScreen(QWidget& w)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    QRect frame = w.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    w.move(frame.topLeft());
}

} // namespace

void QtMessageSink::ShowShortMessage(const QString& text, const QString& details)
{
    QMessageBox box(QMessageBox::NoIcon, ProgramTitle(), text, QMessageBox::Ok);
    OfferDetails(box, details);
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    CentreOnScreen(box);
    // exec() runs a nested loop: notifications and timer ticks go on being handled.
    box.exec();
}

void QtMessageSink::ShowErrorReport(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, ProgramTitle(), text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void QtMessageSink::ShowOwnedBox(QWidget* owner, const QString& text, const QString& details)
{
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, owner);
    OfferDetails(box, details);
    box.exec();
}

} // namespace rv
