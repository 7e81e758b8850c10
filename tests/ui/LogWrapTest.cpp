// The log's wrapping over a width function, without a font: the greedy break after spaces and
// the split of a word wider than the line.
#include "log/LogWrap.h"

#include <QString>

#include <gtest/gtest.h>

namespace rv::test {
namespace {

// Advances like a proportional font's: narrow spaces, wide capitals.
qreal Advance(QStringView piece)
{
    const char16_t c = piece.front().unicode();
    return c == u' ' ? 3 : c >= u'A' && c <= u'Z' ? 7.5 : 6.25;
}

TEST(LogWrapTest, WrapsAfterSpacesGreedilyAndSplitsOverlongWords)
{
    LogWrap wrap(Advance);
    wrap.SetWidth(200);
    const QString text = QStringLiteral("5A 5A 01 03 04 00 03 91 ").repeated(3) + QString(80, u'W');
    std::vector<std::uint32_t> starts;
    wrap.Wrap(text, starts);
    ASSERT_GT(starts.size(), 3u);
    starts.push_back(static_cast<std::uint32_t>(text.size()));
    for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
        const QString line = text.mid(starts[i], starts[i + 1] - starts[i]);
        // Spaces may hang past the edge; nothing else does.
        const QString ink = line.trimmed();
        EXPECT_LE(wrap.WidthOf(ink, 0, ink.size()), 200) << i;
        if (i + 2 < starts.size() && !line.contains(u'W')) {
            // Broken after a space, and the next word would not have fitted.
            EXPECT_TRUE(line.endsWith(u' ')) << i;
            const QString next = text.mid(starts[i + 1]).section(u' ', 0, 0);
            EXPECT_GT(wrap.WidthOf(line + next, 0, line.size() + next.size()), 200) << i;
        }
    }
    // The long word fills whole lines, then its rest.
    const QString full =
        text.mid(starts[starts.size() - 3], starts[starts.size() - 2] - starts[starts.size() - 3]);
    EXPECT_EQ(full, QString(static_cast<qsizetype>(200 / 7.5), u'W'));
}

} // namespace
} // namespace rv::test
