// The log's text without a widget: edits anywhere against a plain string and against the same
// text wrapped in one piece, and lines and offsets across the blocks it is stored in.
#include "log/LogText.h"
#include "log/LogWrap.h"

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <random>

namespace rv::test {
namespace {

// Advances like a proportional font's: narrow spaces, wide capitals and Chinese, and a
// surrogate pair (an emoji) wider still.
qreal Advance(QStringView piece)
{
    if (piece.size() == 2)
        return 15;
    const char16_t c = piece.front().unicode();
    return c == u' ' ? 3 : c >= 0x2E80 ? 12 : c >= u'A' && c <= u'Z' ? 7.5 : 6.25;
}

class LogTextTest : public ::testing::Test {
protected:
    LogText text;
    LogWrap wrap{Advance};

    void SetUp() override { wrap.SetWidth(220); }

    void Insert(qsizetype at, const QString& with) { text.Replace(at, at, with, wrap); }
    QString All() const { return text.Slice(0, text.Length()); }

    static QStringList Lines(const LogText& t)
    {
        QStringList all;
        for (qsizetype i = 0; i < t.LineCount(); ++i)
            all << t.LineAt(i).Text;
        return all;
    }

    // After any sequence of edits the text is the reference, wrapped into the same lines as
    // the reference given in one piece; the lines hold the text, no more and no less, and no
    // line's ink goes past the edge.
    void ExpectLikeFreshlyWrapped(const QString& reference, int step)
    {
        ASSERT_EQ(All(), reference) << "step " << step;
        LogText fresh;
        fresh.Replace(0, 0, reference, wrap);
        const QStringList lines = Lines(text);
        ASSERT_EQ(lines, Lines(fresh)) << "step " << step;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            qsizetype ink = lines[i].size();
            while (ink > 0 && lines[i][ink - 1] == u' ')
                --ink;
            if (ink > 2) {
                ASSERT_LE(wrap.WidthOf(lines[i], 0, ink), wrap.Width())
                    << "step " << step << " line " << i;
            }
        }
        ASSERT_EQ(lines.join(QString()), QString(reference).remove(u'\n')) << "step " << step;
    }
};

QString HexLines(int lines)
{
    QString text;
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("5A 5A 01 03 04 %1 03 91 \n")
                    .arg(i % 256, 2, 16, QLatin1Char('0'))
                    .toUpper();
    return text;
}

TEST_F(LogTextTest, PiecewiseEditsWrapLikeTheWholeText)
{
    // Appends in pieces that end mid-word, as reads do.
    const QString whole =
        HexLines(40).replace(QStringLiteral("01"), QStringLiteral("0123456789ABCDEF0123456789"));
    for (qsizetype at = 0; at < whole.size(); at += 7)
        Insert(text.Length(), whole.mid(at, 7));
    ExpectLikeFreshlyWrapped(whole, 0);
    // An insertion in the middle that splits a word and a deletion that joins lines.
    Insert(30, QStringLiteral(" X "));
    text.Replace(100, 160, {}, wrap);
    ExpectLikeFreshlyWrapped(QString(whole).insert(30, QStringLiteral(" X ")).remove(100, 60), 1);
}

TEST_F(LogTextTest, RandomEditsAnywhereMatchAPlainStringAndAFreshWrap)
{
    std::mt19937 rng(12);
    const auto pick = [&rng](qsizetype n) {
        return static_cast<qsizetype>(std::uniform_int_distribution<qsizetype>(0, n)(rng));
    };
    const char32_t face = U'\U0001F600';
    const QStringList words = {
        QStringLiteral("5A 5A 01 03 04 D2 03 91 \n"),
        QStringLiteral("A5 "),
        QStringLiteral("\n"),
        QStringLiteral("word "),
        QStringLiteral("LONGWORDWITHOUTANYSPACEATALLXXXXXXXXXXXXXXXXXXXXXXXX"),
        QStringLiteral("   "),
        QStringLiteral("中文 "),
        QString::fromUcs4(&face, 1),
        QStringLiteral("ab"),
        QStringLiteral("5a ")};
    QString reference;
    const auto insert = [&](qsizetype at, const QString& with) {
        Insert(at, with);
        reference.insert(at, with);
    };
    const auto replace = [&](qsizetype from, qsizetype to, const QString& with) {
        text.Replace(from, to, with, wrap);
        reference.replace(from, to - from, with);
    };
    // Enough text for many blocks, and paragraphs longer than a block, whose blocks end in
    // the middle of a paragraph.
    for (int i = 0; i < 600; ++i)
        insert(reference.size(), words[0]);
    for (int i = 0; i < 4000; ++i)
        insert(reference.size(), words[i % 7 == 3 ? 3 : i % 11 == 5 ? 6 : 1]);
    for (int i = 0; i < 600; ++i)
        insert(reference.size(), words[0]);
    for (int i = 0; i < 300; ++i)
        insert(reference.size(), words[i % 5 == 0 ? 4 : 3]);
    ASSERT_GT(text.BlockCount(), 10);
    ExpectLikeFreshlyWrapped(reference, -2);

    for (int step = 0; step < 800; ++step) {
        if (step == 500) {
            // Narrower: hex lines wrap inside too.
            wrap.SetWidth(110);
            text.Rewrap(wrap);
            ExpectLikeFreshlyWrapped(reference, step);
        }
        const int kind = static_cast<int>(pick(9));
        if (kind <= 3) {
            QString with;
            for (qsizetype n = pick(12); n >= 0; --n)
                with += words[pick(words.size() - 1)];
            if (pick(1))
                with.remove(u'\n');
            insert(pick(reference.size()), with);
        } else if (kind <= 6) {
            const qsizetype from = pick(reference.size());
            const qsizetype to = std::min(reference.size(), from + pick(kind == 6 ? 3000 : 40));
            replace(from, to, kind == 5 ? words[pick(words.size() - 1)] : QString());
        } else if (kind <= 8) {
            // One character, which may be half a surrogate pair.
            const qsizetype at = pick(reference.size());
            replace(at, std::min(reference.size(), at + 1), {});
        } else {
            insert(reference.size(), words[0]);
        }
        if (step % 10 == 0)
            ExpectLikeFreshlyWrapped(reference, step);
        if (HasFatalFailure())
            return;
    }
    ExpectLikeFreshlyWrapped(reference, -1);
}

TEST_F(LogTextTest, ShorteningALinesFirstWordLetsTheLineBeforeTakeItBack)
{
    // One long paragraph, so that lines end softly everywhere, also where the storage is cut.
    QString paragraph;
    for (int i = 0; i < 1400; ++i)
        paragraph += QString(1 + (i * 7) % 9, QLatin1Char('a' + i % 26)) + QLatin1Char(' ');
    Insert(0, paragraph);
    ASSERT_GT(text.BlockCount(), 2);
    for (qsizetype line = 1; line + 1 < text.LineCount(); ++line) {
        const LogText::Line l = text.LineAt(line);
        const qsizetype word = l.Text.indexOf(u' ');
        if (word < 2)
            continue;
        const QString removed = text.Slice(l.Start + 1, l.Start + word);
        text.Replace(l.Start + 1, l.Start + word, {}, wrap);
        ExpectLikeFreshlyWrapped(QString(paragraph).remove(l.Start + 1, word - 1),
                                 static_cast<int>(line));
        Insert(l.Start + 1, removed);
        ExpectLikeFreshlyWrapped(paragraph, static_cast<int>(line));
        if (HasFatalFailure())
            return;
    }
}

TEST_F(LogTextTest, LinesAndOffsetsAgreeAcrossBlocks)
{
    Insert(0, HexLines(2000) + QStringLiteral("tail without break"));
    ASSERT_GT(text.BlockCount(), 4);
    const QString all = All();
    qsizetype at = 0;
    for (qsizetype i = 0; i < text.LineCount(); ++i) {
        const LogText::Line line = text.LineAt(i);
        ASSERT_EQ(line.Start, at) << i;
        ASSERT_EQ(text.LineOf(at), i) << i;
        ASSERT_EQ(all.mid(at, line.Text.size()), line.Text) << i;
        at += line.Text.size();
        if (at < all.size() && all[at] == u'\n')
            ++at;
    }
    EXPECT_EQ(at, all.size());
}

TEST_F(LogTextTest, EditingAtTheTopOfALongLogKeepsTheRestAsItWas)
{
    Insert(0, HexLines(3000));
    const QStringList before = Lines(text);
    Insert(0, QStringLiteral("top\n"));
    const QStringList after = Lines(text);
    ASSERT_EQ(after.size(), before.size() + 1);
    EXPECT_EQ(after.first(), QStringLiteral("top"));
    EXPECT_EQ(after.mid(1), before);
}

} // namespace
} // namespace rv::test
