#include "rangeview/ui/MessageSink.h"

#include "rangeview/ui/ProgramTitle.h"

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QThread>

namespace rv {

QtMessageSink::QtMessageSink(QObject* parent) : QObject(parent)
{
}

void QtMessageSink::ShowNotice(const QString& text)
{
    if (QThread::currentThread() == thread()) {
        ShowNoticeHere(text);
        return;
    }
    // From another thread (the serial reader): show it on the window thread and keep this
    // thread blocked until it is dismissed. If the sink goes away first, the call is dropped
    // and the caller released.
    QMetaObject::invokeMethod(
        this, [this, text] { ShowNoticeHere(text); }, Qt::BlockingQueuedConnection);
}

void QtMessageSink::ShowNoticeHere(const QString& text)
{
    // No owner and not modal, so the main window keeps working while the caller waits in a
    // local event loop.
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Notice"), text, QMessageBox::Ok);
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

void QtMessageSink::ShowShortMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, ProgramTitle(), text, QMessageBox::Ok);
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

void QtMessageSink::ShowOwnedBox(QWidget* owner, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, owner);
    box.exec();
}

} // namespace rv
