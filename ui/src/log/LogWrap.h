#pragma once

#include <QStringView>
#include <QtGlobal>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class QFont;

namespace rv {

// Where the log's lines break, and how wide its characters are. LogText wraps every edit with
// it; TLogMemo measures the caret, clicks and the selection with the same advances, so what is
// shown and what is hit agree. Characters are placed one by one at their own advance (no
// kerning), which the measure gives for one character or one surrogate pair; Latin-1 advances
// are kept, since the echo is made of little else.
class LogWrap {
public:
    // The advance of one character, or of a surrogate pair.
    using Measure = std::function<qreal(QStringView piece)>;

    explicit LogWrap(Measure measure);
    // The measure of a font as a text box shows it.
    static Measure MeasureOf(const QFont& font);

    // Forgets the advances kept.
    void SetMeasure(Measure measure);
    // The width a line may take (spaces may hang past it); at least 1.
    void SetWidth(qreal width);
    qreal Width() const { return Width_; }

    qreal Advance(QStringView text, qsizetype i) const
    {
        const char16_t c = text[i].unicode();
        if (c < Latin_.size()) {
            qreal& a = Latin_[c];
            if (a < 0)
                a = Measure_(text.mid(i, 1));
            return a;
        }
        return OtherAdvance(text, i);
    }
    qreal WidthOf(QStringView text, qsizetype from, qsizetype to) const;

    // Greedy wrap like a multi-line edit box: a line breaks after its last space that fits;
    // spaces may hang past the edge; a word wider than the line breaks anywhere. starts gets
    // the line starts, the text's start first; a line start at its very end is left out (it
    // starts the next block, or is the empty last line).
    void Wrap(QStringView text, std::vector<std::uint32_t>& starts) const;

private:
    qreal OtherAdvance(QStringView text, qsizetype i) const;

    Measure Measure_;
    mutable std::array<qreal, 256> Latin_{};
    qreal Width_ = 1;
};

} // namespace rv
