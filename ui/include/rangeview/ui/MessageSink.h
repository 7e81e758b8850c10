#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QWidget;

namespace rv {

// The three kinds of messages the program shows. Each call returns once the user has
// dismissed the message. Tests substitute a sink that records instead of showing.
//
// `details`, where a message takes them, is the system's reason behind a failure (empty: none).
// The message's own text never changes with it; the box offers it behind a details button.
class MessageSink {
public:
    virtual ~MessageSink() = default;

    // Platform box "Notice" with one OK button and no owner: the main window stays usable
    // while it is open. Callable from any thread; the calling thread waits for the OK.
    virtual void ShowNotice(const QString& text, const QString& details) = 0;

    // Short message: modal, the program title as caption, no icon, centred on the screen.
    // Window thread only; posted events and timer ticks keep being handled under it.
    virtual void ShowShortMessage(const QString& text, const QString& details) = 0;

    // General error report: modal, the program title as caption, an error icon. The text is
    // passed as it should appear (full-stop rule already applied). Window thread only.
    virtual void ShowErrorReport(const QString& text) = 0;

    // Platform box owned by the window, without a caption of its own (the platform's default),
    // one OK button; modal to its owner. Window thread only.
    virtual void ShowOwnedBox(QWidget* owner, const QString& text, const QString& details) = 0;
};

// The real boxes, shown with Qt Widgets. Create it on the window thread.
class QtMessageSink final : public QObject, public MessageSink {
    Q_OBJECT
public:
    explicit QtMessageSink(QObject* parent = nullptr);
    ~QtMessageSink() override;

    void ShowNotice(const QString& text, const QString& details) override;
    void ShowShortMessage(const QString& text, const QString& details) override;
    void ShowErrorReport(const QString& text) override;
    void ShowOwnedBox(QWidget* owner, const QString& text, const QString& details) override;

private:
    class DetailsCaptions;
    void ShowNoticeHere(const QString& text, const QString& details);

    std::unique_ptr<DetailsCaptions> Captions_;
};

} // namespace rv
