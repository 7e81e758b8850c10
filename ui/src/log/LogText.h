#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <vector>

namespace rv {

class LogWrap;
namespace logtext {
struct Node;
}

// The text of a log that grows by hours of received data, wrapped into lines. TLogMemo keeps
// its text here and adds the caret, the selection, painting and input.
//
// The text is held in blocks of whole wrapped lines in a balanced tree (a treap) that counts
// characters, lines and blocks per subtree, so finding a line or an offset, editing anywhere
// and reading the visible lines cost a logarithm of the log's size plus one or two blocks.
// Blocks of hex echo ("5A 01 \n") keep one byte per pair of digits and are spelt out when read.
// Line breaks are single '\n' characters.
class LogText {
public:
    LogText();
    ~LogText();
    LogText(const LogText&) = delete;
    LogText& operator=(const LogText&) = delete;

    qsizetype Length() const;
    // Wrapped lines, the last one possibly empty.
    qsizetype LineCount() const;
    // Blocks held: what the tree costs beside the text.
    qsizetype BlockCount() const;

    // A wrapped line: its text (without its line break), where it starts, and whether it ends
    // in a soft break. Past the last line: empty, at the end of the text.
    struct Line {
        QString Text;
        qsizetype Start = 0;
        bool Soft = false;
    };
    Line LineAt(qsizetype line) const;
    // The line holding offset pos (the line after a break at pos - 1).
    qsizetype LineOf(qsizetype pos) const;
    // A null character outside the text.
    QChar CharAt(qsizetype pos) const;
    QString Slice(qsizetype from, qsizetype to) const;

    // Replaces [from, to) by `with`, wrapped as wrap does. Everything new is built before the
    // tree changes, so when memory runs out the text stays as it was.
    void Replace(qsizetype from, qsizetype to, QStringView with, const LogWrap& wrap);
    // Wraps every line anew: linear in the text, for a new width or font.
    void Rewrap(const LogWrap& wrap);
    void Clear();

private:
    const QString& TextOf(const logtext::Node* node) const;

    std::unique_ptr<logtext::Node> Root_;
    std::uint32_t Seed_ = 0x9E3779B9u; // block priorities
    // The block last spelt out, for the lines of one paint or one caret move.
    mutable const logtext::Node* Spelt_ = nullptr;
    mutable QString SpeltText_;
};

} // namespace rv
