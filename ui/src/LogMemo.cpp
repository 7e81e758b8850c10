#include "rangeview/ui/LogMemo.h"

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
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <optional>
#include <utility>

namespace rv {

namespace {

constexpr int Margin = 3;

bool IsWordChar(QChar c)
{
    return c != QLatin1Char(' ') && c != QLatin1Char('\n') && c != QLatin1Char('\t');
}

// The log's scroll bar. Its range and position change with every line received, while past a
// few hundred lines the handle moves by less than a pixel per line: it is repainted when what it
// shows changes, not on every new number.
class LogScrollBar final : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

    // The log asks for it on every edit (its wrap width leaves room for the bar); the style
    // works it out anew each time, so it is kept until the style, font or screen changes.
    QSize sizeHint() const override
    {
        if (!Hint_)
            Hint_ = QScrollBar::sizeHint();
        return *Hint_;
    }

protected:
    void changeEvent(QEvent* event) override
    {
        if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
            Hint_.reset();
        QScrollBar::changeEvent(event);
    }

    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::ScreenChangeInternal || event->type() == QEvent::Polish)
            Hint_.reset();
        return QScrollBar::event(event);
    }

    void sliderChange(SliderChange) override
    {
        // Looked at once the change is complete: a new range comes just before the position
        // that follows it, and the two together may leave the picture as it was.
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

    void paintEvent(QPaintEvent* event) override
    {
        if (event->region().contains(rect()))
            Shown_ = CurrentLook();
        QScrollBar::paintEvent(event);
    }

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

    Look CurrentLook() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return {rect(),
                style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider,
                                        this),
                value() == minimum(), value() == maximum()};
    }

    std::optional<Look> Shown_;
    bool CheckPosted_ = false;
    mutable std::optional<QSize> Hint_;
};

} // namespace

TLogMemo::TLogMemo(QWidget* parent) : QAbstractScrollArea(parent), Metrics_(font())
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

void TLogMemo::ResetMetrics()
{
    Metrics_ = QFontMetricsF(font());
    Latin_.fill(-1);
    RowHeight_ = std::max(1, static_cast<int>(std::ceil(Metrics_.lineSpacing())));
}

// ---- storage ----

struct TLogMemo::Block {
    qsizetype Chars = 0;
    // Wrapped line starts from the block's start; the first is 0. Empty when every line of a
    // hex block ends in a line break: the lines then start after the breaks.
    std::vector<std::uint32_t> Starts;
    // Hex form: one byte for each "XX " piece, and for each line break the number of pieces
    // before it. Otherwise the text itself.
    bool Hex = false;
    std::vector<std::uint8_t> Bytes;
    std::vector<std::uint16_t> Breaks;
    QString Text;
};

struct TLogMemo::Node {
    Block B;
    std::uint32_t Priority = 0;
    std::unique_ptr<Node> Left;
    std::unique_ptr<Node> Right;
    // Of the subtree.
    qsizetype Chars = 0;
    qsizetype Lines = 0;
    qsizetype Count = 0;
};

namespace {

using Node = TLogMemo::Node;
using NodePtr = std::unique_ptr<TLogMemo::Node>;

// A block is cut at the first hard line start after this many characters, or at any line start
// after twice as many: small enough that an edit re-wraps little, large enough that the tree
// costs a few bytes a line.
constexpr qsizetype TargetChars = 1024;
constexpr qsizetype MaxChars = 2 * TargetChars;

// Where line break j of a hex block stands.
qsizetype BreakAt(const TLogMemo::Block& b, std::size_t j)
{
    return 3 * static_cast<qsizetype>(b.Breaks[j]) + static_cast<qsizetype>(j);
}

bool LinesFollowBreaks(const TLogMemo::Block& b)
{
    return b.Starts.empty();
}

qsizetype LineCountOf(const TLogMemo::Block& b)
{
    if (!LinesFollowBreaks(b))
        return static_cast<qsizetype>(b.Starts.size());
    // A break at the very end starts the next block's line, not one of this block.
    const bool last = !b.Breaks.empty() && BreakAt(b, b.Breaks.size() - 1) + 1 == b.Chars;
    return 1 + static_cast<qsizetype>(b.Breaks.size()) - (last ? 1 : 0);
}

qsizetype LineStartOf(const TLogMemo::Block& b, qsizetype line)
{
    if (!LinesFollowBreaks(b))
        return b.Starts[static_cast<std::size_t>(line)];
    return line == 0 ? 0 : BreakAt(b, static_cast<std::size_t>(line - 1)) + 1;
}

// The block's line holding offset `local`.
qsizetype LineIndexOf(const TLogMemo::Block& b, qsizetype local)
{
    if (!LinesFollowBreaks(b)) {
        const auto it = std::upper_bound(b.Starts.begin(), b.Starts.end(),
                                         static_cast<std::uint32_t>(std::max<qsizetype>(0, local)));
        return static_cast<qsizetype>(it - b.Starts.begin()) - 1;
    }
    // Breaks that end a line at or before `local`.
    std::size_t lo = 0;
    std::size_t hi = b.Breaks.size();
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        if (BreakAt(b, mid) + 1 <= local)
            lo = mid + 1;
        else
            hi = mid;
    }
    return std::min(static_cast<qsizetype>(lo), LineCountOf(b) - 1);
}

bool EndsInBreak(const TLogMemo::Block& b)
{
    if (!b.Hex)
        return !b.Text.isEmpty() && b.Text.back() == QLatin1Char('\n');
    return !b.Breaks.empty() && BreakAt(b, b.Breaks.size() - 1) + 1 == b.Chars;
}

const Node* LastNode(const Node* n)
{
    while (n != nullptr && n->Right)
        n = n->Right.get();
    return n;
}

qsizetype CharsOf(const NodePtr& n)
{
    return n ? n->Chars : 0;
}
qsizetype LinesOf(const NodePtr& n)
{
    return n ? n->Lines : 0;
}
qsizetype CountOf(const NodePtr& n)
{
    return n ? n->Count : 0;
}

void Pull(Node& n)
{
    n.Chars = CharsOf(n.Left) + n.B.Chars + CharsOf(n.Right);
    n.Lines = LinesOf(n.Left) + LineCountOf(n.B) + LinesOf(n.Right);
    n.Count = CountOf(n.Left) + 1 + CountOf(n.Right);
}

NodePtr Merge(NodePtr a, NodePtr b) noexcept
{
    if (!a)
        return b;
    if (!b)
        return a;
    if (a->Priority > b->Priority) {
        a->Right = Merge(std::move(a->Right), std::move(b));
        Pull(*a);
        return a;
    }
    b->Left = Merge(std::move(a), std::move(b->Left));
    Pull(*b);
    return b;
}

// The first `count` blocks go to `left`, the rest to `right`.
void Split(NodePtr t, qsizetype count, NodePtr& left, NodePtr& right) noexcept
{
    if (!t) {
        left.reset();
        right.reset();
        return;
    }
    if (CountOf(t->Left) < count) {
        Split(std::move(t->Right), count - CountOf(t->Left) - 1, t->Right, right);
        Pull(*t);
        left = std::move(t);
    } else {
        Split(std::move(t->Left), count, left, t->Left);
        Pull(*t);
        right = std::move(t);
    }
}

void TakeBlocks(NodePtr t, std::vector<TLogMemo::Block>& out)
{
    if (!t)
        return;
    TakeBlocks(std::move(t->Left), out);
    out.push_back(std::move(t->B));
    TakeBlocks(std::move(t->Right), out);
}

int HexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

constexpr char16_t HexDigits[] = u"0123456789ABCDEF";

// Stores text made only of "XX " pieces (upper-case hex digits) and line breaks as bytes.
bool EncodeHex(QStringView text, TLogMemo::Block& b)
{
    const qsizetype n = text.size();
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint16_t> breaks;
    bytes.reserve(static_cast<std::size_t>(n / 3));
    for (qsizetype i = 0; i < n;) {
        if (text[i] == QLatin1Char('\n')) {
            breaks.push_back(static_cast<std::uint16_t>(bytes.size()));
            ++i;
            continue;
        }
        if (i + 2 >= n || text[i + 2] != QLatin1Char(' ') || bytes.size() >= 0xFFFF)
            return false;
        const int high = HexValue(text[i]);
        const int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
        i += 3;
    }
    bytes.shrink_to_fit();
    breaks.shrink_to_fit();
    b.Hex = true;
    b.Bytes = std::move(bytes);
    b.Breaks = std::move(breaks);
    b.Text = QString();
    return true;
}

void SpellHex(const TLogMemo::Block& b, QString& out)
{
    out.resize(b.Chars);
    char16_t* p = reinterpret_cast<char16_t*>(out.data());
    std::size_t brk = 0;
    for (std::size_t k = 0; k <= b.Bytes.size(); ++k) {
        while (brk < b.Breaks.size() && b.Breaks[brk] == k) {
            *p++ = u'\n';
            ++brk;
        }
        if (k == b.Bytes.size())
            break;
        *p++ = HexDigits[b.Bytes[k] >> 4];
        *p++ = HexDigits[b.Bytes[k] & 15];
        *p++ = u' ';
    }
}

} // namespace

TLogMemo::~TLogMemo() = default;

qsizetype TLogMemo::BlockCount() const
{
    return CountOf(Root_);
}

qsizetype TLogMemo::TextLength() const
{
    return CharsOf(Root_);
}

qsizetype TLogMemo::LineCount() const
{
    // Text that ends in a line break (or no text) has an empty last line after it.
    if (!Root_)
        return 1;
    return Root_->Lines + (EndsInBreak(LastNode(Root_.get())->B) ? 1 : 0);
}

const QString& TLogMemo::TextOf(const Node* node) const
{
    if (!node->B.Hex)
        return node->B.Text;
    if (Spelt_ != node) {
        Spelt_ = nullptr;
        SpellHex(node->B, SpeltText_);
        Spelt_ = node;
    }
    return SpeltText_;
}

TLogMemo::Found TLogMemo::BlockAtChar(qsizetype pos) const
{
    // The block with start <= pos < end; past the end, the last block.
    Found f;
    const Node* n = Root_.get();
    while (n != nullptr) {
        if (pos < f.CharStart + CharsOf(n->Left)) {
            n = n->Left.get();
            continue;
        }
        f.CharStart += CharsOf(n->Left);
        f.LineStart += LinesOf(n->Left);
        f.Index += CountOf(n->Left);
        if (pos < f.CharStart + n->B.Chars || !n->Right) {
            f.At = n;
            return f;
        }
        f.CharStart += n->B.Chars;
        f.LineStart += LineCountOf(n->B);
        f.Index += 1;
        n = n->Right.get();
    }
    return f;
}

TLogMemo::Found TLogMemo::BlockAtLine(qsizetype line) const
{
    Found f;
    const Node* n = Root_.get();
    while (n != nullptr) {
        if (line < f.LineStart + LinesOf(n->Left)) {
            n = n->Left.get();
            continue;
        }
        f.CharStart += CharsOf(n->Left);
        f.LineStart += LinesOf(n->Left);
        f.Index += CountOf(n->Left);
        const qsizetype own = LineCountOf(n->B);
        if (line < f.LineStart + own || !n->Right) {
            f.At = n;
            return f;
        }
        f.CharStart += n->B.Chars;
        f.LineStart += own;
        f.Index += 1;
        n = n->Right.get();
    }
    return f;
}

TLogMemo::Found TLogMemo::BlockAtIndex(qsizetype index) const
{
    Found f;
    const Node* n = Root_.get();
    while (n != nullptr) {
        if (index < f.Index + CountOf(n->Left)) {
            n = n->Left.get();
            continue;
        }
        f.CharStart += CharsOf(n->Left);
        f.LineStart += LinesOf(n->Left);
        f.Index += CountOf(n->Left);
        if (index == f.Index || !n->Right) {
            f.At = n;
            return f;
        }
        f.CharStart += n->B.Chars;
        f.LineStart += LineCountOf(n->B);
        f.Index += 1;
        n = n->Right.get();
    }
    return f;
}

QChar TLogMemo::CharAt(qsizetype pos) const
{
    if (pos < 0 || pos >= TextLength())
        return QChar();
    const Found f = BlockAtChar(pos);
    return TextOf(f.At)[pos - f.CharStart];
}

QString TLogMemo::Slice(qsizetype from, qsizetype to) const
{
    QString out;
    if (from >= to)
        return out;
    out.reserve(to - from);
    Found f = BlockAtChar(from);
    while (f.At != nullptr && f.CharStart < to) {
        const QString& text = TextOf(f.At);
        const qsizetype a = std::max(from, f.CharStart) - f.CharStart;
        const qsizetype b = std::min(to, f.CharStart + f.At->B.Chars) - f.CharStart;
        out.append(QStringView(text).mid(a, b - a));
        if (f.Index + 1 >= BlockCount())
            break;
        f = BlockAtIndex(f.Index + 1);
    }
    return out;
}

QString TLogMemo::toPlainText() const
{
    return Slice(0, TextLength());
}

// ---- wrapping ----

qreal TLogMemo::Advance(QStringView text, qsizetype i) const
{
    const QChar c = text[i];
    if (c.unicode() < Latin_.size()) {
        qreal& a = Latin_[c.unicode()];
        if (a < 0)
            a = Metrics_.horizontalAdvance(c);
        return a;
    }
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        return Metrics_.horizontalAdvance(text.mid(i, 2).toString());
    if (c.isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate())
        return 0; // measured with its high half
    return Metrics_.horizontalAdvance(c);
}

qreal TLogMemo::WidthOf(QStringView text, qsizetype from, qsizetype to) const
{
    qreal w = 0;
    for (qsizetype i = from; i < to; ++i)
        w += Advance(text, i);
    return w;
}

// Greedy wrap like a multi-line edit box: a line breaks after its last space that fits;
// spaces may hang past the edge; a word wider than the line breaks anywhere. The text starts
// a line; a line start at its very end is left out (it starts the next block, or is the empty
// last line).
void TLogMemo::Wrap(QStringView text, std::vector<std::uint32_t>& starts) const
{
    starts.clear();
    starts.push_back(0);
    const qreal width = std::max(1, WrapWidth_ - 2 * Margin);
    const qsizetype n = text.size();
    qsizetype start = 0;
    qsizetype lastBreak = -1;
    qreal x = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\n')) {
            if (i + 1 < n)
                starts.push_back(static_cast<std::uint32_t>(i + 1));
            start = i + 1;
            lastBreak = -1;
            x = 0;
            continue;
        }
        const qreal a = Advance(text, i);
        if (c != QLatin1Char(' ') && x + a > width && i > start && !c.isLowSurrogate()) {
            start = lastBreak > start ? lastBreak : i;
            starts.push_back(static_cast<std::uint32_t>(start));
            lastBreak = -1;
            x = WidthOf(text, start, i);
            // The word taken to the new line may still not fit there: it breaks here too.
            if (x + a > width && i > start) {
                start = i;
                starts.push_back(static_cast<std::uint32_t>(start));
                x = 0;
            }
        }
        x += a;
        if (c == QLatin1Char(' '))
            lastBreak = i + 1;
    }
}

// Cuts wrapped text into blocks at line starts, preferring starts after a line break: an edit
// then seldom has to look past its block's end.
void TLogMemo::Cut(QStringView text, const std::vector<std::uint32_t>& starts,
                   std::vector<NodePtr>& out)
{
    const qsizetype n = text.size();
    std::size_t j = 0;
    while (j < starts.size() && starts[j] < n) {
        const qsizetype from = starts[j];
        std::size_t k = j + 1;
        for (; k < starts.size(); ++k) {
            const qsizetype len = starts[k] - from;
            if (len >= MaxChars || (len >= TargetChars && text[starts[k] - 1] == QLatin1Char('\n')))
                break;
        }
        const qsizetype to = k < starts.size() ? starts[k] : n;
        auto node = std::make_unique<Node>();
        Block& b = node->B;
        b.Chars = to - from;
        const QStringView part = text.mid(from, to - from);
        if (!EncodeHex(part, b))
            b.Text = part.toString();
        // Hex echo lines all end in a line break as a rule, and then their starts need no room.
        bool followBreaks = b.Hex;
        if (followBreaks) {
            std::size_t line = j + 1;
            for (std::size_t brk = 0; brk < b.Breaks.size() && followBreaks; ++brk) {
                const qsizetype next = BreakAt(b, brk) + 1;
                if (next >= b.Chars)
                    break;
                followBreaks = line < k && starts[line] - from == next;
                ++line;
            }
            followBreaks = followBreaks && line == k;
        }
        if (!followBreaks) {
            b.Starts.reserve(k - j);
            for (std::size_t i = j; i < k; ++i)
                b.Starts.push_back(static_cast<std::uint32_t>(starts[i] - from));
        }
        Seed_ ^= Seed_ << 13;
        Seed_ ^= Seed_ >> 17;
        Seed_ ^= Seed_ << 5;
        node->Priority = Seed_;
        Pull(*node);
        out.push_back(std::move(node));
        j = k;
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
    if (width == WrapWidth_)
        return false;
    WrapWidth_ = width;
    RewrapAll();
    return true;
}

// Every line may wrap anew: linear in the text, but only on a change of width or font. Text is
// wrapped a paragraph or so at a time, so this needs no copy of the whole log.
void TLogMemo::RewrapAll()
{
    Spelt_ = nullptr;
    std::vector<Block> blocks;
    blocks.reserve(static_cast<std::size_t>(BlockCount()));
    TakeBlocks(std::move(Root_), blocks);
    std::vector<NodePtr> nodes;
    std::vector<std::uint32_t> starts;
    QString buf;
    const auto flush = [&] {
        Wrap(buf, starts);
        Cut(buf, starts, nodes);
        buf.resize(0);
    };
    for (Block& b : blocks) {
        if (b.Hex) {
            QString spelt;
            SpellHex(b, spelt);
            buf += spelt;
        } else {
            buf += b.Text;
        }
        b = Block();
        if (buf.size() >= TargetChars && buf.back() == QLatin1Char('\n'))
            flush();
    }
    if (!buf.isEmpty())
        flush();
    for (NodePtr& n : nodes)
        Root_ = Merge(std::move(Root_), std::move(n));
}

// The line holding the change and the one before it (which may take back a word) are wrapped
// again with the blocks around them; blocks after them follow as long as the new line starts
// have not met the old ones. The tree itself changes only once everything new is built.
void TLogMemo::Edit(qsizetype from, qsizetype to, QStringView with)
{
    FollowWidth();
    Spelt_ = nullptr;
    const qsizetype count = BlockCount();
    qsizetype first = 0;
    qsizetype last = -1;
    if (count > 0) {
        const Found f = BlockAtChar(from);
        first = f.Index;
        if (first > 0 && LineIndexOf(f.At->B, from - f.CharStart) == 0)
            --first;
        last = std::max(first, BlockAtChar(to).Index);
    }
    QString buf;
    qsizetype bufStart = 0;
    for (;;) {
        buf.resize(0);
        bufStart = first < count ? BlockAtIndex(first).CharStart : 0;
        for (qsizetype k = first; k <= last; ++k)
            buf += TextOf(BlockAtIndex(k).At);
        buf.replace(from - bufStart, to - from, with.data(), with.size());
        // Everything here went: the line before the change lies in the block before.
        if (!buf.isEmpty() || first == 0)
            break;
        --first;
    }
    std::vector<std::uint32_t> starts;
    Wrap(buf, starts);
    qsizetype next = last + 1;
    while (next < count && !buf.isEmpty() && buf.back() != QLatin1Char('\n')) {
        const Found f = BlockAtIndex(next++);
        const qsizetype joint = buf.size();
        buf += TextOf(f.At);
        Wrap(buf, starts);
        // A new line start at an old one of the pulled block: from there on all is as before.
        const Block& old = f.At->B;
        const qsizetype oldLines = LineCountOf(old);
        auto a = std::lower_bound(starts.begin(), starts.end(), static_cast<std::uint32_t>(joint));
        qsizetype b = 0;
        bool met = false;
        while (a != starts.end() && b < oldLines) {
            const qsizetype here = static_cast<qsizetype>(*a) - joint;
            const qsizetype there = LineStartOf(old, b);
            if (here == there) {
                met = true;
                break;
            }
            if (here < there)
                ++a;
            else
                ++b;
        }
        if (met)
            break;
    }
    std::vector<NodePtr> nodes;
    Cut(buf, starts, nodes);

    NodePtr before, middle, after;
    Split(std::move(Root_), first, before, middle);
    Split(std::move(middle), next - first, middle, after);
    middle.reset();
    for (NodePtr& n : nodes)
        before = Merge(std::move(before), std::move(n));
    Root_ = Merge(std::move(before), std::move(after));
    Spelt_ = nullptr;

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
    QString removed = Slice(from, to);
    Edit(from, to, with);
    Undo_.Valid = true;
    Undo_.Typing = false;
    Undo_.Pos = from;
    Undo_.Inserted = with.size();
    Undo_.Removed = std::move(removed);
}

void TLogMemo::Clear()
{
    Root_.reset();
    Spelt_ = nullptr;
    SpeltText_ = QString();
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
    return Slice(std::min(Caret_, Anchor_), std::max(Caret_, Anchor_));
}

QString TLogMemo::LineText(qsizetype i) const
{
    return LineAt(i).Text;
}

// ---- geometry ----

TLogMemo::Line TLogMemo::LineAt(qsizetype line) const
{
    Line out;
    if (!Root_ || line >= Root_->Lines) {
        out.Start = TextLength();
        return out;
    }
    const Found f = BlockAtLine(std::max<qsizetype>(line, 0));
    const Block& b = f.At->B;
    const qsizetype j = std::max<qsizetype>(line, 0) - f.LineStart;
    const qsizetype lines = LineCountOf(b);
    const qsizetype start = LineStartOf(b, j);
    const qsizetype next = j + 1 < lines ? LineStartOf(b, j + 1) : b.Chars;
    const QString& text = TextOf(f.At);
    const bool hard = next > start && text[next - 1] == QLatin1Char('\n');
    const qsizetype end = hard ? next - 1 : next;
    out.Text = text.mid(start, end - start);
    out.Start = f.CharStart + start;
    out.Soft = !hard && (j + 1 < lines || f.Index + 1 < BlockCount());
    return out;
}

qsizetype TLogMemo::LineOf(qsizetype pos) const
{
    if (!Root_)
        return 0;
    if (pos >= Root_->Chars && EndsInBreak(LastNode(Root_.get())->B))
        return Root_->Lines;
    const Found f = BlockAtChar(pos);
    return f.LineStart + LineIndexOf(f.At->B, pos - f.CharStart);
}

qsizetype TLogMemo::LineEnd(qsizetype line) const
{
    const Line l = LineAt(line);
    return l.Start + l.Text.size();
}

qsizetype TLogMemo::CaretLine() const
{
    const qsizetype line = LineOf(Caret_);
    return Trail_ && line > 0 && SoftEnd(line - 1) && Start(line) == Caret_ ? line - 1 : line;
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
    bar->setRange(0,
                  std::max(0, static_cast<int>(std::min<qsizetype>(LineCount(), INT_MAX)) - page));
    bar->setPageStep(page);
}

TLogMemo::Hit TLogMemo::HitInLine(qsizetype line, qreal x) const
{
    const Line l = LineAt(line);
    const QStringView text = l.Text;
    qreal at = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qreal a = Advance(text, i);
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
    const Line l = LineAt(line);
    const qreal x =
        Margin + WidthOf(l.Text, 0, std::clamp<qsizetype>(Caret_ - l.Start, 0, l.Text.size()));
    const int y = Margin + static_cast<int>(line - FirstVisibleLine()) * RowHeight_;
    return QRect(static_cast<int>(x), y, 1, RowHeight_);
}

qsizetype TLogMemo::Prev(qsizetype pos) const
{
    if (pos <= 0)
        return 0;
    --pos;
    return pos > 0 && CharAt(pos).isLowSurrogate() && CharAt(pos - 1).isHighSurrogate() ? pos - 1
                                                                                        : pos;
}

qsizetype TLogMemo::Next(qsizetype pos) const
{
    const qsizetype n = TextLength();
    if (pos >= n)
        return n;
    ++pos;
    return pos < n && CharAt(pos).isLowSurrogate() && CharAt(pos - 1).isHighSurrogate() ? pos + 1
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
        RewrapAll();
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
        const Line line = LineAt(i);
        const qsizetype start = line.Start;
        const qsizetype end = start + line.Text.size();
        const int y = Margin + static_cast<int>(i - first) * RowHeight_;
        const QPointF origin(Margin, y + ascent);
        p.setPen(pal.color(QPalette::Text));
        p.drawText(origin, line.Text);
        ++Painted_;
        if (selTo <= start || selFrom > end || selFrom == selTo)
            continue;
        const qreal x1 = Margin + WidthOf(line.Text, 0, std::max(selFrom, start) - start);
        qreal x2 = Margin + WidthOf(line.Text, 0, std::min(selTo, end) - start);
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
    QString removed = joins ? QString() : Slice(from, to);
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
    QString removed = Slice(from, to);
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
        const Line l = LineAt(line);
        return WidthOf(l.Text, 0, std::clamp<qsizetype>(Caret_ - l.Start, 0, l.Text.size()));
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
        MoveCaret(ctrl ? 0 : Start(line), shift);
        return;
    case Qt::Key_End:
        if (ctrl)
            MoveCaret(TextLength(), shift);
        else
            MoveCaret(LineEnd(line), shift, SoftEnd(line));
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
    while (start > 0 && IsWordChar(CharAt(start - 1)))
        --start;
    while (end < length && IsWordChar(CharAt(end)))
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
