#pragma once

#include <QAbstractScrollArea>
#include <QFontMetricsF>
#include <QString>

#include <memory>

class QMenu;

namespace rv {

class LogText;
class LogWrap;

// A multi-line, word-wrapping edit box for a log that grows by hours of received data: the
// window's Memo1. Its text and lines live in a LogText, wrapped by a LogWrap at the width of
// the view; this box adds the caret and selection, the one change to take back, painting of the
// visible lines, keys, mouse, menu and input method. Line breaks are single '\n' characters.
class TLogMemo : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TLogMemo(QWidget* parent = nullptr);
    ~TLogMemo() override;

    // Replaces the selection (at the caret) with text, leaves the caret after it and makes this
    // the one change undo() takes back. "\r\n" in text becomes one line break.
    void ReplaceSelection(const QString& text);
    // Shows the last line.
    void ScrollToBottom();
    // Empties the text; nothing is left to undo.
    void Clear();
    // Takes back the latest change; a second call does nothing.
    void undo();
    bool CanUndo() const { return Undo_.Valid && !ReadOnly_; }
    // Deletes the selection, as one change to take back.
    void DeleteSelection();
    void SelectAll();
    void CutSelection();
    void CopySelection() const;
    void PasteClipboard();

    // The right-click menu with its entries enabled for the present state; the caller owns it.
    QMenu* CreateContextMenu();

    // The whole text, spelt out: linear in its length.
    QString toPlainText() const;
    qsizetype TextLength() const;
    bool isReadOnly() const { return ReadOnly_; }
    void setReadOnly(bool readOnly);

    void SetCaret(qsizetype pos);
    // Selects from start (the anchor) to end (the caret).
    void SetSelection(qsizetype start, qsizetype end);
    qsizetype CaretPosition() const { return Caret_; }
    QString SelectedText() const;

    // Wrapped lines, the last one possibly empty.
    qsizetype LineCount() const;
    // The text of wrapped line i, without its line break.
    QString LineText(qsizetype i) const;
    int FirstVisibleLine() const;
    // How many lines the latest paint drew.
    int LastPaintedLines() const { return Painted_; }
    // The stored text, to read.
    const LogText& Text() const { return *Text_; }

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
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
    void UpdateScrollRange();
    void ResetMetrics();
    qsizetype CaretLine() const;
    qsizetype LineEnd(qsizetype line) const;
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
    void Normalize(const QString& text);

    std::unique_ptr<LogText> Text_;
    std::unique_ptr<LogWrap> Wrap_;
    qsizetype Caret_ = 0;
    qsizetype Anchor_ = 0;
    // The caret sits at the end of a wrapped line rather than at the start of the next one,
    // which is the same offset.
    bool Trail_ = false;
    qreal GoalX_ = -1; // kept over Up/Down/PageUp/PageDown
    bool ReadOnly_ = false;

    // Only one change can be taken back; it also keeps the memory for undo independent of the
    // log's length.
    struct {
        bool Valid = false;
        bool Typing = false; // consecutive typed characters join one change
        qsizetype Pos = 0;
        qsizetype Inserted = 0;
        QString Removed;
    } Undo_;

    QFontMetricsF Metrics_;
    int RowHeight_ = 1;
    int WrapWidth_ = -1;
    int Painted_ = 0;
    QString Scratch_; // keeps its capacity, so normalising received text does not allocate
};

} // namespace rv
