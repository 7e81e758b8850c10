#include "LogText.h"

#include "LogWrap.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace rv {

namespace logtext {

// Each block holds whole wrapped lines, so a line never spans two blocks and the line starts
// of a block depend only on the text from the block's start.
struct Block {
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

// Characters, lines and blocks: of a subtree, or before a block.
struct Counts {
    qsizetype Chars = 0;
    qsizetype Lines = 0;
    qsizetype Blocks = 0;

    Counts& operator+=(const Counts& c)
    {
        Chars += c.Chars;
        Lines += c.Lines;
        Blocks += c.Blocks;
        return *this;
    }
};

// A treap ordered by position, with random priorities.
struct Node {
    Block B;
    std::uint32_t Priority = 0;
    std::unique_ptr<Node> Left;
    std::unique_ptr<Node> Right;
    Counts Sum; // of the subtree
};

} // namespace logtext

namespace {

using logtext::Block;
using logtext::Counts;
using logtext::Node;
using NodePtr = std::unique_ptr<Node>;

// A block is cut at the first hard line start after this many characters, or at any line start
// after twice as many: small enough that an edit re-wraps little, large enough that the tree
// costs a few bytes a line.
constexpr qsizetype TargetChars = 1024;
constexpr qsizetype MaxChars = 2 * TargetChars;

// Where line break j of a hex block stands.
qsizetype BreakAt(const Block& b, std::size_t j)
{
    return 3 * static_cast<qsizetype>(b.Breaks[j]) + static_cast<qsizetype>(j);
}

bool LinesFollowBreaks(const Block& b)
{
    return b.Starts.empty();
}

qsizetype LineCountOf(const Block& b)
{
    if (!LinesFollowBreaks(b))
        return static_cast<qsizetype>(b.Starts.size());
    // A break at the very end starts the next block's line, not one of this block.
    const bool last = !b.Breaks.empty() && BreakAt(b, b.Breaks.size() - 1) + 1 == b.Chars;
    return 1 + static_cast<qsizetype>(b.Breaks.size()) - (last ? 1 : 0);
}

qsizetype LineStartOf(const Block& b, qsizetype line)
{
    if (!LinesFollowBreaks(b))
        return b.Starts[static_cast<std::size_t>(line)];
    return line == 0 ? 0 : BreakAt(b, static_cast<std::size_t>(line - 1)) + 1;
}

// The block's line holding offset `local`.
qsizetype LineIndexOf(const Block& b, qsizetype local)
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

bool EndsInBreak(const Block& b)
{
    if (!b.Hex)
        return !b.Text.isEmpty() && b.Text.back() == QLatin1Char('\n');
    return !b.Breaks.empty() && BreakAt(b, b.Breaks.size() - 1) + 1 == b.Chars;
}

Counts OwnCounts(const Block& b)
{
    return {b.Chars, LineCountOf(b), 1};
}

Counts SumOf(const NodePtr& n)
{
    return n ? n->Sum : Counts{};
}

const Node* LastNode(const Node* n)
{
    while (n != nullptr && n->Right)
        n = n->Right.get();
    return n;
}

void Pull(Node& n)
{
    n.Sum = SumOf(n.Left);
    n.Sum += OwnCounts(n.B);
    n.Sum += SumOf(n.Right);
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
    const qsizetype before = SumOf(t->Left).Blocks;
    if (before < count) {
        Split(std::move(t->Right), count - before - 1, t->Right, right);
        Pull(*t);
        left = std::move(t);
    } else {
        Split(std::move(t->Left), count, left, t->Left);
        Pull(*t);
        right = std::move(t);
    }
}

void TakeBlocks(NodePtr t, std::vector<Block>& out)
{
    if (!t)
        return;
    TakeBlocks(std::move(t->Left), out);
    out.push_back(std::move(t->B));
    TakeBlocks(std::move(t->Right), out);
}

enum class By { Chars, Lines, Blocks };

template <By Key>
qsizetype Of(const Counts& c)
{
    if constexpr (Key == By::Chars)
        return c.Chars;
    else if constexpr (Key == By::Lines)
        return c.Lines;
    else
        return c.Blocks;
}

struct Found {
    const Node* At = nullptr;
    Counts Before; // the block's start: its first character, its first line, its index
};

// The block holding the key-th character, line or block; past the end, the last block.
template <By Key>
Found Find(const Node* n, qsizetype key)
{
    Found f;
    while (n != nullptr) {
        const Counts left = SumOf(n->Left);
        if (key < Of<Key>(f.Before) + Of<Key>(left)) {
            n = n->Left.get();
            continue;
        }
        f.Before += left;
        const Counts own = OwnCounts(n->B);
        if (key < Of<Key>(f.Before) + Of<Key>(own) || !n->Right) {
            f.At = n;
            return f;
        }
        f.Before += own;
        n = n->Right.get();
    }
    return f;
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
bool EncodeHex(QStringView text, Block& b)
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

void SpellHex(const Block& b, QString& out)
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

// Cuts wrapped text into blocks at line starts, preferring starts after a line break: an edit
// then seldom has to look past its block's end.
void Cut(QStringView text, const std::vector<std::uint32_t>& starts, std::uint32_t& seed,
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
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        node->Priority = seed;
        Pull(*node);
        out.push_back(std::move(node));
        j = k;
    }
}

} // namespace

LogText::LogText() = default;
LogText::~LogText() = default;

qsizetype LogText::Length() const
{
    return SumOf(Root_).Chars;
}

qsizetype LogText::BlockCount() const
{
    return SumOf(Root_).Blocks;
}

qsizetype LogText::LineCount() const
{
    // Text that ends in a line break (or no text) has an empty last line after it.
    if (!Root_)
        return 1;
    return Root_->Sum.Lines + (EndsInBreak(LastNode(Root_.get())->B) ? 1 : 0);
}

const QString& LogText::TextOf(const Node* node) const
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

QChar LogText::CharAt(qsizetype pos) const
{
    if (pos < 0 || pos >= Length())
        return QChar();
    const Found f = Find<By::Chars>(Root_.get(), pos);
    return TextOf(f.At)[pos - f.Before.Chars];
}

QString LogText::Slice(qsizetype from, qsizetype to) const
{
    QString out;
    if (from >= to)
        return out;
    out.reserve(to - from);
    Found f = Find<By::Chars>(Root_.get(), from);
    while (f.At != nullptr && f.Before.Chars < to) {
        const QString& text = TextOf(f.At);
        const qsizetype a = std::max(from, f.Before.Chars) - f.Before.Chars;
        const qsizetype b = std::min(to, f.Before.Chars + f.At->B.Chars) - f.Before.Chars;
        out.append(QStringView(text).mid(a, b - a));
        if (f.Before.Blocks + 1 >= BlockCount())
            break;
        f = Find<By::Blocks>(Root_.get(), f.Before.Blocks + 1);
    }
    return out;
}

LogText::Line LogText::LineAt(qsizetype line) const
{
    Line out;
    if (!Root_ || line >= Root_->Sum.Lines) {
        out.Start = Length();
        return out;
    }
    const Found f = Find<By::Lines>(Root_.get(), std::max<qsizetype>(line, 0));
    const Block& b = f.At->B;
    const qsizetype j = std::max<qsizetype>(line, 0) - f.Before.Lines;
    const qsizetype lines = LineCountOf(b);
    const qsizetype start = LineStartOf(b, j);
    const qsizetype next = j + 1 < lines ? LineStartOf(b, j + 1) : b.Chars;
    const QString& text = TextOf(f.At);
    const bool hard = next > start && text[next - 1] == QLatin1Char('\n');
    const qsizetype end = hard ? next - 1 : next;
    out.Text = text.mid(start, end - start);
    out.Start = f.Before.Chars + start;
    out.Soft = !hard && (j + 1 < lines || f.Before.Blocks + 1 < BlockCount());
    return out;
}

qsizetype LogText::LineOf(qsizetype pos) const
{
    if (!Root_)
        return 0;
    if (pos >= Root_->Sum.Chars && EndsInBreak(LastNode(Root_.get())->B))
        return Root_->Sum.Lines;
    const Found f = Find<By::Chars>(Root_.get(), pos);
    return f.Before.Lines + LineIndexOf(f.At->B, pos - f.Before.Chars);
}

void LogText::Clear()
{
    Root_.reset();
    Spelt_ = nullptr;
    SpeltText_ = QString();
}

// Text is wrapped a paragraph or so at a time, so this needs no copy of the whole log.
void LogText::Rewrap(const LogWrap& wrap)
{
    Spelt_ = nullptr;
    std::vector<Block> blocks;
    blocks.reserve(static_cast<std::size_t>(BlockCount()));
    TakeBlocks(std::move(Root_), blocks);
    std::vector<NodePtr> nodes;
    std::vector<std::uint32_t> starts;
    QString buf;
    const auto flush = [&] {
        wrap.Wrap(buf, starts);
        Cut(buf, starts, Seed_, nodes);
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
// have not met the old ones.
void LogText::Replace(qsizetype from, qsizetype to, QStringView with, const LogWrap& wrap)
{
    Spelt_ = nullptr;
    const qsizetype count = BlockCount();
    qsizetype first = 0;
    qsizetype last = -1;
    if (count > 0) {
        const Found f = Find<By::Chars>(Root_.get(), from);
        first = f.Before.Blocks;
        if (first > 0 && LineIndexOf(f.At->B, from - f.Before.Chars) == 0)
            --first;
        last = std::max(first, Find<By::Chars>(Root_.get(), to).Before.Blocks);
    }
    QString buf;
    for (;;) {
        buf.resize(0);
        const qsizetype bufStart =
            first < count ? Find<By::Blocks>(Root_.get(), first).Before.Chars : 0;
        for (qsizetype k = first; k <= last; ++k)
            buf += TextOf(Find<By::Blocks>(Root_.get(), k).At);
        buf.replace(from - bufStart, to - from, with.data(), with.size());
        // Everything here went: the line before the change lies in the block before.
        if (!buf.isEmpty() || first == 0)
            break;
        --first;
    }
    std::vector<std::uint32_t> starts;
    wrap.Wrap(buf, starts);
    qsizetype next = last + 1;
    while (next < count && !buf.isEmpty() && buf.back() != QLatin1Char('\n')) {
        const Found f = Find<By::Blocks>(Root_.get(), next++);
        const qsizetype joint = buf.size();
        buf += TextOf(f.At);
        wrap.Wrap(buf, starts);
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
    Cut(buf, starts, Seed_, nodes);

    NodePtr before, middle, after;
    Split(std::move(Root_), first, before, middle);
    Split(std::move(middle), next - first, middle, after);
    middle.reset();
    for (NodePtr& n : nodes)
        before = Merge(std::move(before), std::move(n));
    Root_ = Merge(std::move(before), std::move(after));
    Spelt_ = nullptr;
}

} // namespace rv
