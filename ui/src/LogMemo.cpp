#include "rangeview/ui/LogMemo.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <utility>

namespace rv {

namespace {

constexpr int Margin = 3;

bool IsWordChar(QChar c)
{
    return c != QLatin1Char(' ') && c != QLatin1Char('\n') && c != QLatin1Char('\t');
}

} // namespace

TLogMemo::TLogMemo(QWidget* parent) : QAbstractScrollArea(parent), metrics_(font())
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(1);
    ResetMetrics();
    UpdateScrollRange();
}

void TLogMemo::ResetMetrics()
{
    metrics_ = QFontMetricsF(font());
    latin_.fill(-1);
    rowHeight_ = std::max(1, static_cast<int>(std::ceil(metrics_.lineSpacing())));
}

// ---- text and wrapping ----

qreal TLogMemo::Advance(qsizetype i) const
{
    const QChar c = text_[i];
    if (c.unicode() < latin_.size()) {
        qreal& a = latin_[c.unicode()];
        if (a < 0)
            a = metrics_.horizontalAdvance(c);
        return a;
    }
    if (c.isHighSurrogate() && i + 1 < text_.size() && text_[i + 1].isLowSurrogate())
        return metrics_.horizontalAdvance(QString::fromRawData(text_.constData() + i, 2));
    if (c.isLowSurrogate() && i > 0 && text_[i - 1].isHighSurrogate())
        return 0; // measured with its high half
    return metrics_.horizontalAdvance(c);
}

qreal TLogMemo::WidthOf(qsizetype from, qsizetype to) const
{
    qreal w = 0;
    for (qsizetype i = from; i < to; ++i)
        w += Advance(i);
    return w;
}

// Greedy wrap like a multi-line edit box: a line breaks after its last space that fits;
// spaces may hang past the edge; a word wider than the line breaks anywhere.
void TLogMemo::WrapFrom(std::size_t line)
{
    lines_.resize(line + 1);
    const qreal width = std::max(1, wrapWidth_ - 2 * Margin);
    const qsizetype n = text_.size();
    qsizetype start = lines_.back();
    qsizetype lastBreak = -1;
    qreal x = 0;
    for (qsizetype i = start; i < n; ++i) {
        const QChar c = text_[i];
        if (c == QLatin1Char('\n')) {
            lines_.push_back(i + 1);
            start = i + 1;
            lastBreak = -1;
            x = 0;
            continue;
        }
        const qreal a = Advance(i);
        if (c != QLatin1Char(' ') && x + a > width && i > start && !c.isLowSurrogate()) {
            start = lastBreak > start ? lastBreak : i;
            lines_.push_back(start);
            lastBreak = -1;
            x = WidthOf(start, i);
        }
        x += a;
        if (c == QLatin1Char(' '))
            lastBreak = i + 1;
    }
}

int TLogMemo::ViewWidth() const
{
    // The viewport's width as its layout will make it; a hidden window's viewport is laid out
    // only when it is shown, but text may arrive before.
    return contentsRect().width() - verticalScrollBar()->sizeHint().width();
}

bool TLogMemo::FollowWidth()
{
    const int width = ViewWidth();
    if (width == wrapWidth_)
        return false;
    // Every line may wrap anew: linear in the text, but only on a change of width.
    wrapWidth_ = width;
    WrapFrom(0);
    return true;
}

void TLogMemo::Rewrap(qsizetype changedAt)
{
    if (FollowWidth())
        return;
    // The line before the change may take back a word from the changed line, so it is
    // wrapped again too; the lines before it cannot change.
    const qsizetype line = LineOf(changedAt);
    WrapFrom(static_cast<std::size_t>(std::max<qsizetype>(0, line - 1)));
}

void TLogMemo::Edit(qsizetype from, qsizetype to, QStringView with)
{
    if (from == to && from == text_.size())
        text_.append(with);
    else
        text_.replace(from, to - from, with.data(), with.size());
    Rewrap(from);
    caret_ = anchor_ = from + with.size();
    trail_ = false;
    goalX_ = -1;
    UpdateScrollRange();
    viewport()->update();
}

void TLogMemo::Normalize(const QString& text)
{
    scratch_.resize(0);
    scratch_.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (text[i] == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n'))
            continue; // the '\n' that follows stands for both
        scratch_.append(text[i]);
    }
}

void TLogMemo::ReplaceSelection(const QString& text)
{
    QStringView with = text;
    if (text.contains(QLatin1Char('\r'))) {
        Normalize(text);
        with = scratch_;
    }
    const qsizetype from = std::min(caret_, anchor_), to = std::max(caret_, anchor_);
    undo_.Valid = true;
    undo_.Typing = false;
    undo_.Pos = from;
    undo_.Inserted = with.size();
    undo_.Removed = to > from ? text_.mid(from, to - from) : QString();
    Edit(from, to, with);
}

void TLogMemo::Clear()
{
    text_ = QString();
    lines_.assign(1, 0);
    lines_.shrink_to_fit();
    caret_ = anchor_ = 0;
    trail_ = false;
    goalX_ = -1;
    undo_.Valid = false;
    undo_.Removed = QString();
    UpdateScrollRange();
    viewport()->update();
}

void TLogMemo::undo()
{
    if (!undo_.Valid || readOnly_)
        return;
    undo_.Valid = false;
    const QString removed = std::exchange(undo_.Removed, QString());
    Edit(undo_.Pos, undo_.Pos + undo_.Inserted, removed);
    EnsureCaretVisible();
}

void TLogMemo::setReadOnly(bool readOnly)
{
    readOnly_ = readOnly;
    viewport()->update();
}

void TLogMemo::SetCaret(qsizetype pos)
{
    SetSelection(pos, pos);
}

void TLogMemo::SetSelection(qsizetype start, qsizetype end)
{
    anchor_ = std::clamp<qsizetype>(start, 0, text_.size());
    caret_ = std::clamp<qsizetype>(end, 0, text_.size());
    trail_ = false;
    goalX_ = -1;
    viewport()->update();
}

QString TLogMemo::SelectedText() const
{
    const qsizetype from = std::min(caret_, anchor_), to = std::max(caret_, anchor_);
    return text_.mid(from, to - from);
}

QString TLogMemo::LineText(qsizetype i) const
{
    return text_.mid(Start(i), LineEnd(i) - Start(i));
}

// ---- geometry ----

qsizetype TLogMemo::LineOf(qsizetype pos) const
{
    const auto it = std::upper_bound(lines_.begin(), lines_.end(), pos);
    return static_cast<qsizetype>(it - lines_.begin()) - 1;
}

qsizetype TLogMemo::LineEnd(qsizetype line) const
{
    const auto next = static_cast<std::size_t>(line + 1);
    if (next >= lines_.size())
        return text_.size();
    const qsizetype end = lines_[next];
    return text_[end - 1] == QLatin1Char('\n') ? end - 1 : end;
}

bool TLogMemo::SoftEnd(qsizetype line) const
{
    const auto next = static_cast<std::size_t>(line + 1);
    return next < lines_.size() && text_[lines_[next] - 1] != QLatin1Char('\n');
}

qsizetype TLogMemo::CaretLine() const
{
    const qsizetype line = LineOf(caret_);
    return trail_ && line > 0 && SoftEnd(line - 1) && Start(line) == caret_ ? line - 1 : line;
}

int TLogMemo::PageLines() const
{
    return std::max(1, contentsRect().height() / rowHeight_);
}

int TLogMemo::FirstVisibleLine() const
{
    return verticalScrollBar()->value();
}

void TLogMemo::UpdateScrollRange()
{
    QScrollBar* bar = verticalScrollBar();
    const int page = PageLines();
    bar->setRange(0, std::max(0, static_cast<int>(LineCount()) - page));
    bar->setPageStep(page);
}

TLogMemo::Hit TLogMemo::HitInLine(qsizetype line, qreal x) const
{
    const qsizetype end = LineEnd(line);
    qreal at = 0;
    for (qsizetype i = Start(line); i < end; ++i) {
        const qreal a = Advance(i);
        if (x < at + a / 2) {
            const bool pairTail =
                i > 0 && text_[i].isLowSurrogate() && text_[i - 1].isHighSurrogate();
            return {pairTail ? i - 1 : i, false};
        }
        at += a;
    }
    return {end, SoftEnd(line)};
}

TLogMemo::Hit TLogMemo::HitAt(const QPoint& p) const
{
    const qsizetype line = std::clamp<qsizetype>(
        FirstVisibleLine() + (p.y() - Margin) / rowHeight_ - (p.y() < Margin ? 1 : 0), 0,
        LineCount() - 1);
    return HitInLine(line, p.x() - Margin);
}

QRect TLogMemo::CaretRect() const
{
    const qsizetype line = CaretLine();
    const qreal x = Margin + WidthOf(Start(line), caret_);
    const int y = Margin + static_cast<int>(line - FirstVisibleLine()) * rowHeight_;
    return QRect(static_cast<int>(x), y, 1, rowHeight_);
}

qsizetype TLogMemo::Prev(qsizetype pos) const
{
    if (pos <= 0)
        return 0;
    --pos;
    return pos > 0 && text_[pos].isLowSurrogate() && text_[pos - 1].isHighSurrogate() ? pos - 1
                                                                                       : pos;
}

qsizetype TLogMemo::Next(qsizetype pos) const
{
    if (pos >= text_.size())
        return text_.size();
    ++pos;
    return pos < text_.size() && text_[pos].isLowSurrogate() && text_[pos - 1].isHighSurrogate()
               ? pos + 1
               : pos;
}

// ---- scrolling ----

void TLogMemo::ScrollToBottom()
{
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TLogMemo::EnsureCaretVisible()
{
    const qsizetype line = CaretLine();
    QScrollBar* bar = verticalScrollBar();
    if (line < bar->value())
        bar->setValue(static_cast<int>(line));
    else if (line >= bar->value() + PageLines())
        bar->setValue(static_cast<int>(line) - PageLines() + 1);
}

void TLogMemo::scrollContentsBy(int, int)
{
    viewport()->update();
}

void TLogMemo::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    FollowWidth();
    UpdateScrollRange();
}

void TLogMemo::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        ResetMetrics();
        WrapFrom(0);
        UpdateScrollRange();
        viewport()->update();
    }
}

// Out of memory while editing must not unwind into the event loop; the layout stays a valid
// prefix of the text (wrapping only appends), so the control goes on with what it has.
bool TLogMemo::event(QEvent* event)
{
    try {
        return QAbstractScrollArea::event(event);
    } catch (...) {
        return true;
    }
}

bool TLogMemo::viewportEvent(QEvent* event)
{
    try {
        return QAbstractScrollArea::viewportEvent(event);
    } catch (...) {
        return true;
    }
}

// ---- painting ----

void TLogMemo::paintEvent(QPaintEvent*)
{
    QPainter p(viewport());
    p.setFont(font());
    const QPalette& pal = palette();
    const qsizetype first = FirstVisibleLine();
    const qsizetype last = std::min(LineCount(), first + PageLines() + 1);
    const qsizetype selFrom = std::min(caret_, anchor_), selTo = std::max(caret_, anchor_);
    const qreal ascent = metrics_.ascent();
    painted_ = 0;
    for (qsizetype i = first; i < last; ++i) {
        const qsizetype start = Start(i);
        const qsizetype end = LineEnd(i);
        const int y = Margin + static_cast<int>(i - first) * rowHeight_;
        const QString line = QString::fromRawData(text_.constData() + start, end - start);
        const QPointF origin(Margin, y + ascent);
        p.setPen(pal.color(QPalette::Text));
        p.drawText(origin, line);
        ++painted_;
        if (selTo <= start || selFrom > end || selFrom == selTo)
            continue;
        const qreal x1 = Margin + WidthOf(start, std::max(selFrom, start));
        qreal x2 = Margin + WidthOf(start, std::min(selTo, end));
        if (selTo > end && !SoftEnd(i) && end < text_.size())
            x2 += metrics_.horizontalAdvance(QLatin1Char(' ')); // the selected line break
        const QRectF band(x1, y, x2 - x1, rowHeight_);
        p.fillRect(band, pal.brush(QPalette::Highlight));
        p.save();
        p.setClipRect(band);
        p.setPen(pal.color(QPalette::HighlightedText));
        p.drawText(origin, line);
        p.restore();
    }
    // No blinking: a steady caret costs no timer and no repaints.
    if (hasFocus() && !readOnly_) {
        const QRect caret = CaretRect();
        if (caret.bottom() >= 0 && caret.top() < viewport()->height())
            p.fillRect(caret, pal.color(QPalette::Text));
    }
}

// ---- editing by the user ----

void TLogMemo::MoveCaret(qsizetype pos, bool extend, bool trail, bool keepGoal)
{
    caret_ = pos;
    if (!extend)
        anchor_ = pos;
    trail_ = trail;
    if (!keepGoal)
        goalX_ = -1;
    EnsureCaretVisible();
    viewport()->update();
}

void TLogMemo::Type(const QString& text)
{
    if (readOnly_)
        return;
    const qsizetype from = std::min(caret_, anchor_), to = std::max(caret_, anchor_);
    const bool joins = undo_.Valid && undo_.Typing && from == to &&
                       undo_.Pos + undo_.Inserted == from;
    if (joins) {
        undo_.Inserted += text.size();
    } else {
        undo_.Valid = true;
        undo_.Typing = true;
        undo_.Pos = from;
        undo_.Inserted = text.size();
        undo_.Removed = text_.mid(from, to - from);
    }
    Edit(from, to, text);
    EnsureCaretVisible();
}

void TLogMemo::DeleteRange(qsizetype from, qsizetype to)
{
    if (readOnly_ || from >= to)
        return;
    undo_.Valid = true;
    undo_.Typing = false;
    undo_.Pos = from;
    undo_.Inserted = 0;
    undo_.Removed = text_.mid(from, to - from);
    Edit(from, to, {});
    EnsureCaretVisible();
}

void TLogMemo::Paste()
{
    if (readOnly_)
        return;
    QString text = QGuiApplication::clipboard()->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.isEmpty())
        return;
    ReplaceSelection(text);
    EnsureCaretVisible();
}

void TLogMemo::keyPressEvent(QKeyEvent* event)
{
    const qsizetype from = std::min(caret_, anchor_), to = std::max(caret_, anchor_);
    if (event == QKeySequence::SelectAll) {
        anchor_ = 0;
        MoveCaret(text_.size(), true);
        return;
    }
    if (event == QKeySequence::Copy || event == QKeySequence::Cut) {
        if (from < to) {
            QGuiApplication::clipboard()->setText(SelectedText());
            if (event == QKeySequence::Cut)
                DeleteRange(from, to);
        }
        return;
    }
    if (event == QKeySequence::Paste) {
        Paste();
        return;
    }
    if (event == QKeySequence::Undo) {
        undo();
        return;
    }

    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const qsizetype line = CaretLine();
    const qreal x = goalX_ >= 0 ? goalX_ : WidthOf(Start(line), caret_);
    const auto vertical = [&](qsizetype target) {
        const Hit h = HitInLine(std::clamp<qsizetype>(target, 0, LineCount() - 1), x);
        MoveCaret(h.Pos, shift, h.Trail, true);
        goalX_ = x;
    };
    switch (event->key()) {
    case Qt::Key_Left:
        // Without shift a selection collapses to its start, like the platform's edit box.
        MoveCaret(!shift && from < to ? from : Prev(caret_), shift);
        return;
    case Qt::Key_Right:
        MoveCaret(!shift && from < to ? to : Next(caret_), shift);
        return;
    case Qt::Key_Up:
        vertical(line - 1);
        return;
    case Qt::Key_Down:
        vertical(line + 1);
        return;
    case Qt::Key_PageUp:
        verticalScrollBar()->setValue(verticalScrollBar()->value() - PageLines());
        vertical(line - PageLines());
        return;
    case Qt::Key_PageDown:
        verticalScrollBar()->setValue(verticalScrollBar()->value() + PageLines());
        vertical(line + PageLines());
        return;
    case Qt::Key_Home:
        MoveCaret(ctrl ? 0 : Start(line), shift);
        return;
    case Qt::Key_End:
        if (ctrl)
            MoveCaret(text_.size(), shift);
        else
            MoveCaret(LineEnd(line), shift, SoftEnd(line));
        return;
    case Qt::Key_Backspace:
        DeleteRange(from < to ? from : Prev(caret_), from < to ? to : caret_);
        return;
    case Qt::Key_Delete:
        DeleteRange(from < to ? from : caret_, from < to ? to : Next(caret_));
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Type(QStringLiteral("\n"));
        return;
    default:
        break;
    }
    const QString text = event->text();
    const bool printable =
        !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
            return c.isPrint() || c.isSurrogate();
        });
    if (printable && !ctrl && !(event->modifiers() & Qt::AltModifier)) {
        Type(text);
        return;
    }
    event->ignore();
}

void TLogMemo::inputMethodEvent(QInputMethodEvent* event)
{
    // Composition text shows in the input method's own window; only its result lands here.
    if (!event->commitString().isEmpty())
        Type(event->commitString());
    event->accept();
}

QVariant TLogMemo::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return !readOnly_;
    case Qt::ImCursorRectangle:
        return QRect(viewport()->mapToParent(CaretRect().topLeft()), CaretRect().size());
    case Qt::ImFont:
        return font();
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void TLogMemo::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const Hit h = HitAt(event->position().toPoint());
    MoveCaret(h.Pos, event->modifiers() & Qt::ShiftModifier, h.Trail);
}

void TLogMemo::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    QPoint p = event->position().toPoint();
    // Dragging past the top or bottom edge scrolls one line per move.
    QScrollBar* bar = verticalScrollBar();
    if (p.y() < 0)
        bar->setValue(bar->value() - 1);
    else if (p.y() >= viewport()->height())
        bar->setValue(bar->value() + 1);
    p.setY(std::clamp(p.y(), 0, viewport()->height() - 1));
    const Hit h = HitAt(p);
    MoveCaret(h.Pos, true, h.Trail);
}

void TLogMemo::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept(); // the drag's selection is already made
}

void TLogMemo::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const qsizetype at = HitAt(event->position().toPoint()).Pos;
    qsizetype start = at, end = at;
    while (start > 0 && IsWordChar(text_[start - 1]))
        --start;
    while (end < text_.size() && IsWordChar(text_[end]))
        ++end;
    anchor_ = start;
    MoveCaret(end, true);
}

void TLogMemo::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void TLogMemo::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

} // namespace rv
