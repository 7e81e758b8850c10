#pragma once

#include <QScrollBar>

#include <optional>

namespace rv {

// The log's scroll bar, which TLogMemo installs as its vertical one. Its range and position
// change with every line received, while past a few hundred lines the handle moves by less than
// a pixel per line: it is repainted when what it shows changes, not on every new number.
class LogScrollBar final : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

    // The log asks for it on every edit (its wrap width leaves room for the bar); the style
    // works it out anew each time, so it is kept until the style, font or screen changes.
    QSize sizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // What a style draws from the numbers: where the handle is, and whether the bar is at an
    // end or has no range (some styles grey the arrows then).
    struct Look {
        QRect Bar;
        QRect Handle;
        bool AtMinimum = false;
        bool AtMaximum = false;
        bool operator==(const Look&) const = default;
    };
    Look CurrentLook() const;

    std::optional<Look> Shown_;
    bool CheckPosted_ = false;
    mutable std::optional<QSize> Hint_;
};

} // namespace rv
