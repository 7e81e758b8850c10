#pragma once

#include <QAbstractScrollArea>
#include <QFontMetricsF>
#include <QString>

#include <array>
#include <vector>

namespace rv {

// A multi-line, word-wrapping edit box for a log that only ever grows at its end. Appending
// re-wraps the last line or two and painting draws only the visible lines, so neither grows
// with the amount of text held. Line breaks are stored as single '\n' characters.
class TLogMemo : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TLogMemo(QWidget* parent = nullptr);

    // Replaces the selection (at the caret) with text, leaves the caret after it and makes this
    // the one change undo() takes back. "\r\n" in text becomes one line break.
    void ReplaceSelection(const QString& text);
    // Shows the last line.
    void ScrollToBottom();
    // Empties the text; nothing is left to undo.
    void Clear();
    // Takes back the latest change; a second call does nothing.
    void undo();

    // Shares the text: an edit while the copy is held copies it once.
    QString toPlainText() const { return text_; }
    bool isReadOnly() const { return readOnly_; }
    void setReadOnly(bool readOnly);

    void SetCaret(qsizetype pos);
    // Selects from start (the anchor) to end (the caret).
    void SetSelection(qsizetype start, qsizetype end);
    qsizetype CaretPosition() const { return caret_; }
    QString SelectedText() const;

    // Wrapped lines, the last one possibly empty.
    qsizetype LineCount() const { return static_cast<qsizetype>(lines_.size()); }
    // The text of wrapped line i, without its line break.
    QString LineText(qsizetype i) const;
    int FirstVisibleLine() const;
    // How many lines the latest paint drew.
    int LastPaintedLines() const { return painted_; }

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct Hit {
        qsizetype Pos;
        bool Trail;
    };

    void Edit(qsizetype from, qsizetype to, QStringView with);
    int ViewWidth() const;
    bool FollowWidth();
    void Rewrap(qsizetype changedAt);
    void WrapFrom(std::size_t line);
    void UpdateScrollRange();
    void ResetMetrics();
    qreal Advance(qsizetype i) const;
    qreal WidthOf(qsizetype from, qsizetype to) const;
    qsizetype Start(qsizetype line) const { return lines_[static_cast<std::size_t>(line)]; }
    qsizetype LineOf(qsizetype pos) const;
    qsizetype CaretLine() const;
    qsizetype LineEnd(qsizetype line) const;
    bool SoftEnd(qsizetype line) const;
    Hit HitInLine(qsizetype line, qreal x) const;
    Hit HitAt(const QPoint& p) const;
    QRect CaretRect() const;
    qsizetype Prev(qsizetype pos) const;
    qsizetype Next(qsizetype pos) const;
    int PageLines() const;
    void MoveCaret(qsizetype pos, bool extend, bool trail = false, bool keepGoal = false);
    void EnsureCaretVisible();
    void Type(const QString& text);
    void DeleteRange(qsizetype from, qsizetype to);
    void Paste();
    void Normalize(const QString& text);

    QString text_;
    // Start offset of every wrapped line; the first is always 0.
    std::vector<qsizetype> lines_{0};
    qsizetype caret_ = 0;
    qsizetype anchor_ = 0;
    // The caret sits at the end of a wrapped line rather than at the start of the next one,
    // which is the same offset.
    bool trail_ = false;
    qreal goalX_ = -1; // kept over Up/Down/PageUp/PageDown
    bool readOnly_ = false;

    // Only one change can be taken back, as in the platform's edit box; it also keeps the
    // memory for undo independent of the log's length.
    struct {
        bool Valid = false;
        bool Typing = false; // consecutive typed characters join one change
        qsizetype Pos = 0;
        qsizetype Inserted = 0;
        QString Removed;
    } undo_;

    QFontMetricsF metrics_;
    mutable std::array<qreal, 256> latin_{};
    int rowHeight_ = 1;
    int wrapWidth_ = -1;
    int painted_ = 0;
    QString scratch_; // keeps its capacity, so normalising received text does not allocate
};

} // namespace rv
