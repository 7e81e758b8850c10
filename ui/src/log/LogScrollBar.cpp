#include "LogScrollBar.h"

#include <QEvent>
#include <QPaintEvent>
#include <QStyle>
#include <QStyleOptionSlider>

namespace rv {

QSize LogScrollBar::sizeHint() const
{
    if (!Hint_)
        Hint_ = QScrollBar::sizeHint();
    return *Hint_;
}

void LogScrollBar::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
        Hint_.reset();
    QScrollBar::changeEvent(event);
}

bool LogScrollBar::event(QEvent* event)
{
    if (event->type() == QEvent::ScreenChangeInternal || event->type() == QEvent::Polish)
        Hint_.reset();
    return QScrollBar::event(event);
}

void LogScrollBar::sliderChange(SliderChange)
{
    // Looked at once the change is complete: a new range comes just before the position that
    // follows it, and the two together may leave the picture as it was.
    if (CheckPosted_)
        return;
    CheckPosted_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            CheckPosted_ = false;
            const Look now = CurrentLook();
            if (Shown_ && *Shown_ == now)
                return;
            Shown_ = now;
            update();
        },
        Qt::QueuedConnection);
}

void LogScrollBar::paintEvent(QPaintEvent* event)
{
    if (event->region().contains(rect()))
        Shown_ = CurrentLook();
    QScrollBar::paintEvent(event);
}

LogScrollBar::Look LogScrollBar::CurrentLook() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return {
        rect(),
        style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
        value() == minimum(), value() == maximum()};
}

} // namespace rv
