#include "rangeview/ui/LogMemo.h"

#include "LogScrollBar.h"
#include "LogText.h"
#include "LogWrap.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <utility>

namespace rv {

namespace {

constexpr int Margin = 3;

bool IsWordChar(QChar c)
{
    return c != QLatin1Char(' ') && c != QLatin1Char('\n') && c != QLatin1Char('\t');
}

} // namespace

TLogMemo::TLogMemo(QWidget* parent)
    : QAbstractScrollArea(parent), Text_(std::make_unique<LogText>()),
      Wrap_(std::make_unique<LogWrap>(LogWrap::MeasureOf(font()))), Metrics_(font())
{
    setVerticalScrollBar(new LogScrollBar(Qt::Vertical, this));
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

TLogMemo::~TLogMemo() = default;

void TLogMemo::ResetMetrics()
{
    Metrics_ = QFontMetricsF(font());
    Wrap_->SetMeasure(LogWrap::MeasureOf(font()));
    RowHeight_ = std::max(1, static_cast<int>(std::ceil(Metrics_.lineSpacing())));
}

// ---- text ----

qsizetype TLogMemo::TextLength() const
{
    return Text_->Length();
}

qsizetype TLogMemo::LineCount() const
{
    return Text_->LineCount();
}

QString TLogMemo::toPlainText() const
{
    return Text_->Slice(0, TextLength());
}

int TLogMemo::ViewWidth() const
{
    // The viewport's width as its layout will make it; a hidden window's viewport is laid out
    // only when it is shown, but text may arrive before.
    return contentsRect().width() - verticalScrollBar()->sizeHint().width();
}

// Every line may wrap anew: linear in the text, but only on a change of width or font.
bool TLogMemo::FollowWidth()
{
    const int width = ViewWidth();
    if (width == WrapWidth_)
        return false;
    WrapWidth_ = width;
    Wrap_->SetWidth(WrapWidth_ - 2 * Margin);
    Text_->Rewrap(*Wrap_);
    return true;
}

void TLogMemo::Edit(qsizetype from, qsizetype to, QStringView with)
{
    FollowWidth();
    Text_->Replace(from, to, with, *Wrap_);
    Caret_ = Anchor_ = from + with.size();
    Trail_ = false;
    GoalX_ = -1;
    UpdateScrollRange();
    viewport()->update();
}

void TLogMemo::Normalize(const QString& text)
{
    Scratch_.resize(0);
    Scratch_.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (text[i] == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n'))
            continue; // the '\n' that follows stands for both
        Scratch_.append(text[i]);
    }
}

void TLogMemo::ReplaceSelection(const QString& text)
{
    QStringView with = text;
    if (text.contains(QLatin1Char('\r'))) {
        Normalize(text);
        with = Scratch_;
    }
    const qsizetype from = std::min(Caret_, Anchor_), to = std::max(Caret_, Anchor_);
    QString removed = Text_->Slice(from, to);
    Edit(from, to, with);
    Undo_.Valid = true;
    Undo_.Typing = false;
    Undo_.Pos = from;
    Undo_.Inserted = with.size();
    Undo_.Removed = std::move(removed);
}

void TLogMemo::Clear()
{
    Text_->Clear();
    Caret_ = Anchor_ = 0;
    Trail_ = false;
    GoalX_ = -1;
    Undo_.Valid = false;
    Undo_.Removed = QString();
    UpdateScrollRange();
    viewport()->update();
}

void TLogMemo::undo()
{
    if (!CanUndo())
        return;
    Undo_.Valid = false;
    const QString removed = std::exchange(Undo_.Removed, QString());
    Edit(Undo_.Pos, Undo_.Pos + Undo_.Inserted, removed);
    EnsureCaretVisible();
}

void TLogMemo::setReadOnly(bool readOnly)
{
    ReadOnly_ = readOnly;
    viewport()->update();
}

void TLogMemo::SetCaret(qsizetype pos)
{
    SetSelection(pos, pos);
}

void TLogMemo::SetSelection(qsizetype start, qsizetype end)
{
    Anchor_ = std::clamp<qsizetype>(start, 0, TextLength());
    Caret_ = std::clamp<qsizetype>(end, 0, TextLength());
    Trail_ = false;
    GoalX_ = -1;
    viewport()->update();
}

QString TLogMemo::SelectedText() const
{
    return Text_->Slice(std::min(Caret_, Anchor_), std::max(Caret_, Anchor_));
}

QString TLogMemo::LineText(qsizetype i) const
{
    return Text_->LineAt(i).Text;
}

// ---- geometry ----

qsizetype TLogMemo::LineEnd(qsizetype line) const
{
    const LogText::Line l = Text_->LineAt(line);
    return l.Start + l.Text.size();
}

qsizetype TLogMemo::CaretLine() const
{
    const qsizetype line = Text_->LineOf(Caret_);
    return Trail_ && line > 0 && Text_->LineAt(line - 1).Soft && Text_->LineAt(line).Start == Caret_
               ? line - 1
               : line;
}

int TLogMemo::PageLines() const
{
    return std::max(1, contentsRect().height() / RowHeight_);
}

int TLogMemo::FirstVisibleLine() const
{
    return verticalScrollBar()->value();
}

void TLogMemo::UpdateScrollRange()
{
    QScrollBar* bar = verticalScrollBar();
    const int page = PageLines();
    const int position = bar->value();
    // The range grows with every line received, and the scroll area answers each new range with
    // a posted call that matters only to a bar shown as needed; this one always is. So the
    // range is set quietly, and only a position it moved is told.
    {
        const QSignalBlocker quiet(bar);
        bar->setRange(
            0, std::max(0, static_cast<int>(std::min<qsizetype>(LineCount(), INT_MAX)) - page));
        bar->setPageStep(page);
    }
    if (bar->value() != position)
        emit bar->valueChanged(bar->value());
}

TLogMemo::Hit TLogMemo::HitInLine(qsizetype line, qreal x) const
{
    const LogText::Line l = Text_->LineAt(line);
    const QStringView text = l.Text;
    qreal at = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qreal a = Wrap_->Advance(text, i);
        if (x < at + a / 2) {
            const bool pairTail =
                i > 0 && text[i].isLowSurrogate() && text[i - 1].isHighSurrogate();
            return {l.Start + (pairTail ? i - 1 : i), false};
        }
        at += a;
    }
    return {l.Start + text.size(), l.Soft};
}

TLogMemo::Hit TLogMemo::HitAt(const QPoint& p) const
{
    const qsizetype line = std::clamp<qsizetype>(
        FirstVisibleLine() + (p.y() - Margin) / RowHeight_ - (p.y() < Margin ? 1 : 0), 0,
        LineCount() - 1);
    return HitInLine(line, p.x() - Margin);
}

QRect TLogMemo::CaretRect() const
{
    const qsizetype line = CaretLine();
    const LogText::Line l = Text_->LineAt(line);
    const qreal x =
        Margin +
        Wrap_->WidthOf(l.Text, 0, std::clamp<qsizetype>(Caret_ - l.Start, 0, l.Text.size()));
    const int y = Margin + static_cast<int>(line - FirstVisibleLine()) * RowHeight_;
    return QRect(static_cast<int>(x), y, 1, RowHeight_);
}

qsizetype TLogMemo::Prev(qsizetype pos) const
{
    if (pos <= 0)
        return 0;
    --pos;
    return pos > 0 && Text_->CharAt(pos).isLowSurrogate() &&
                   Text_->CharAt(pos - 1).isHighSurrogate()
               ? pos - 1
               : pos;
}

qsizetype TLogMemo::Next(qsizetype pos) const
{
    const qsizetype n = TextLength();
    if (pos >= n)
        return n;
    ++pos;
    return pos < n && Text_->CharAt(pos).isLowSurrogate() &&
                   Text_->CharAt(pos - 1).isHighSurrogate()
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
        Text_->Rewrap(*Wrap_);
        UpdateScrollRange();
        viewport()->update();
    }
}

// Out of memory while editing must not unwind into the event loop; an edit builds its new
// blocks before it touches the tree, so the control goes on with the text it had.
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
    const qsizetype selFrom = std::min(Caret_, Anchor_), selTo = std::max(Caret_, Anchor_);
    const qreal ascent = Metrics_.ascent();
    const qsizetype length = TextLength();
    Painted_ = 0;
    for (qsizetype i = first; i < last; ++i) {
        const LogText::Line line = Text_->LineAt(i);
        const qsizetype start = line.Start;
        const qsizetype end = start + line.Text.size();
        const int y = Margin + static_cast<int>(i - first) * RowHeight_;
        const QPointF origin(Margin, y + ascent);
        p.setPen(pal.color(QPalette::Text));
        p.drawText(origin, line.Text);
        ++Painted_;
        if (selTo <= start || selFrom > end || selFrom == selTo)
            continue;
        const qreal x1 = Margin + Wrap_->WidthOf(line.Text, 0, std::max(selFrom, start) - start);
        qreal x2 = Margin + Wrap_->WidthOf(line.Text, 0, std::min(selTo, end) - start);
        if (selTo > end && !line.Soft && end < length)
            x2 += Metrics_.horizontalAdvance(QLatin1Char(' ')); // the selected line break
        const QRectF band(x1, y, x2 - x1, RowHeight_);
        p.fillRect(band, pal.brush(QPalette::Highlight));
        p.save();
        p.setClipRect(band);
        p.setPen(pal.color(QPalette::HighlightedText));
        p.drawText(origin, line.Text);
        p.restore();
    }
    // No blinking: a steady caret costs no timer and no repaints.
    if (hasFocus() && !ReadOnly_) {
        const QRect caret = CaretRect();
        if (caret.bottom() >= 0 && caret.top() < viewport()->height())
            p.fillRect(caret, pal.color(QPalette::Text));
    }
}

// ---- editing by the user ----

void TLogMemo::MoveCaret(qsizetype pos, bool extend, bool trail, bool keepGoal)
{
    Caret_ = pos;
    if (!extend)
        Anchor_ = pos;
    Trail_ = trail;
    if (!keepGoal)
        GoalX_ = -1;
    EnsureCaretVisible();
    viewport()->update();
}

void TLogMemo::Type(const QString& text)
{
    if (ReadOnly_)
        return;
    const qsizetype from = std::min(Caret_, Anchor_), to = std::max(Caret_, Anchor_);
    const bool joins =
        Undo_.Valid && Undo_.Typing && from == to && Undo_.Pos + Undo_.Inserted == from;
    QString removed = joins ? QString() : Text_->Slice(from, to);
    Edit(from, to, text);
    if (joins) {
        Undo_.Inserted += text.size();
    } else {
        Undo_.Valid = true;
        Undo_.Typing = true;
        Undo_.Pos = from;
        Undo_.Inserted = text.size();
        Undo_.Removed = std::move(removed);
    }
    EnsureCaretVisible();
}

void TLogMemo::DeleteRange(qsizetype from, qsizetype to)
{
    if (ReadOnly_ || from >= to)
        return;
    QString removed = Text_->Slice(from, to);
    Edit(from, to, {});
    Undo_.Valid = true;
    Undo_.Typing = false;
    Undo_.Pos = from;
    Undo_.Inserted = 0;
    Undo_.Removed = std::move(removed);
    EnsureCaretVisible();
}

void TLogMemo::DeleteSelection()
{
    DeleteRange(std::min(Caret_, Anchor_), std::max(Caret_, Anchor_));
}

void TLogMemo::SelectAll()
{
    Anchor_ = 0;
    MoveCaret(TextLength(), true);
}

void TLogMemo::CopySelection() const
{
    if (Caret_ != Anchor_)
        QGuiApplication::clipboard()->setText(SelectedText());
}

void TLogMemo::CutSelection()
{
    if (ReadOnly_ || Caret_ == Anchor_)
        return;
    CopySelection();
    DeleteSelection();
}

void TLogMemo::PasteClipboard()
{
    if (ReadOnly_)
        return;
    QString text = QGuiApplication::clipboard()->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.isEmpty())
        return;
    ReplaceSelection(text);
    EnsureCaretVisible();
}

// The window speaks Chinese, so its log's menu does too, with the access keys and shortcuts
// users know from this menu in every edit box.
QMenu* TLogMemo::CreateContextMenu()
{
    auto* menu = new QMenu(this);
    const bool selected = Caret_ != Anchor_;
    const auto add = [&](const char* name, const QString& text, const QKeySequence& keys,
                         bool enabled, std::function<void()> run) {
        QAction* action =
            menu->addAction(text + QLatin1Char('\t') + keys.toString(QKeySequence::NativeText));
        action->setObjectName(QLatin1String(name));
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [run] {
            try {
                run();
            } catch (...) {
                // Out of memory: the text stays as it was.
            }
        });
        return action;
    };
    add("Undo", QStringLiteral("撤销(&U)"), QKeySequence(QKeySequence::Undo), CanUndo(),
        [this] { undo(); });
    menu->addSeparator();
    add("Cut", QStringLiteral("剪切(&T)"), QKeySequence(QKeySequence::Cut), selected && !ReadOnly_,
        [this] { CutSelection(); });
    add("Copy", QStringLiteral("复制(&C)"), QKeySequence(QKeySequence::Copy), selected,
        [this] { CopySelection(); });
    add("Paste", QStringLiteral("粘贴(&P)"), QKeySequence(QKeySequence::Paste),
        !ReadOnly_ && !QGuiApplication::clipboard()->text().isEmpty(),
        [this] { PasteClipboard(); });
    add("Delete", QStringLiteral("删除(&D)"), QKeySequence(Qt::Key_Delete), selected && !ReadOnly_,
        [this] { DeleteSelection(); });
    menu->addSeparator();
    const qsizetype length = TextLength();
    const bool all = std::min(Caret_, Anchor_) == 0 && std::max(Caret_, Anchor_) == length;
    add("SelectAll", QStringLiteral("全选(&A)"), QKeySequence(QKeySequence::SelectAll),
        length > 0 && !all, [this] { SelectAll(); });
    return menu;
}

void TLogMemo::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = CreateContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    event->accept();
}

void TLogMemo::keyPressEvent(QKeyEvent* event)
{
    const qsizetype from = std::min(Caret_, Anchor_), to = std::max(Caret_, Anchor_);
    if (event == QKeySequence::SelectAll) {
        SelectAll();
        return;
    }
    if (event == QKeySequence::Copy) {
        CopySelection();
        return;
    }
    if (event == QKeySequence::Cut) {
        CutSelection();
        return;
    }
    if (event == QKeySequence::Paste) {
        PasteClipboard();
        return;
    }
    if (event == QKeySequence::Undo) {
        undo();
        return;
    }

    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const qsizetype line = CaretLine();
    const qreal x = [&] {
        if (GoalX_ >= 0)
            return GoalX_;
        const LogText::Line l = Text_->LineAt(line);
        return Wrap_->WidthOf(l.Text, 0, std::clamp<qsizetype>(Caret_ - l.Start, 0, l.Text.size()));
    }();
    const auto vertical = [&](qsizetype target) {
        const Hit h = HitInLine(std::clamp<qsizetype>(target, 0, LineCount() - 1), x);
        MoveCaret(h.Pos, shift, h.Trail, true);
        GoalX_ = x;
    };
    switch (event->key()) {
    case Qt::Key_Left:
        // Without shift, Left collapses a selection to its start and Right to its end, so the
        // caret lands where the user is looking rather than one character further.
        MoveCaret(!shift && from < to ? from : Prev(Caret_), shift);
        return;
    case Qt::Key_Right:
        MoveCaret(!shift && from < to ? to : Next(Caret_), shift);
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
        MoveCaret(ctrl ? 0 : Text_->LineAt(line).Start, shift);
        return;
    case Qt::Key_End:
        if (ctrl)
            MoveCaret(TextLength(), shift);
        else
            MoveCaret(LineEnd(line), shift, Text_->LineAt(line).Soft);
        return;
    case Qt::Key_Backspace:
        DeleteRange(from < to ? from : Prev(Caret_), from < to ? to : Caret_);
        return;
    case Qt::Key_Delete:
        DeleteRange(from < to ? from : Caret_, from < to ? to : Next(Caret_));
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Type(QStringLiteral("\n"));
        return;
    default:
        break;
    }
    const QString text = event->text();
    const bool printable = !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
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
        return !ReadOnly_;
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
    const qsizetype length = TextLength();
    while (start > 0 && IsWordChar(Text_->CharAt(start - 1)))
        --start;
    while (end < length && IsWordChar(Text_->CharAt(end)))
        ++end;
    Anchor_ = start;
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
