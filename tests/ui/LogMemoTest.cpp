// The log control: wrapping, edits at the caret, the one-step undo, keys and mouse, scrolling
// and painting of the visible lines only.
#include "rangeview/ui/LogMemo.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QInputMethodEvent>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

namespace rv::test {
namespace {

QString HexLines(int lines)
{
    QString text;
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("5A 5A 01 03 04 %1 03 91 \r\n")
                    .arg(i % 256, 2, 16, QLatin1Char('0'))
                    .toUpper();
    return text;
}

class LogMemoTest : public ::testing::Test {
protected:
    TLogMemo memo;

    void SetUp() override
    {
        memo.resize(240, 120);
        memo.show();
        QCoreApplication::processEvents();
    }

    QString Lines() const
    {
        QStringList all;
        for (qsizetype i = 0; i < memo.LineCount(); ++i)
            all << memo.LineText(i);
        return all.join(QLatin1Char('|'));
    }

    QPoint PointAt(qsizetype line, qreal x) const
    {
        const QFontMetricsF fm(memo.font());
        const qreal row = std::ceil(fm.lineSpacing());
        const qsizetype shown = line - memo.FirstVisibleLine();
        return QPoint(3 + static_cast<int>(x), 3 + static_cast<int>((shown + 0.5) * row));
    }
};

TEST_F(LogMemoTest, WrapsAfterSpacesGreedilyAndSplitsOverlongWords)
{
    const QFontMetricsF fm(memo.font());
    const qreal width = memo.viewport()->width() - 6;
    memo.ReplaceSelection(HexLines(3).remove(QLatin1Char('\n')) + QString(80, QLatin1Char('W')));
    ASSERT_GT(memo.LineCount(), 3);
    QString joined;
    for (qsizetype i = 0; i < memo.LineCount(); ++i) {
        const QString line = memo.LineText(i);
        joined += line;
        // Spaces may hang past the edge; nothing else does.
        const QString ink = QString(line).remove(QRegularExpression(QStringLiteral(" +$")));
        EXPECT_LE(fm.horizontalAdvance(ink), width + 1) << i;
        if (i + 1 < memo.LineCount() && !line.contains(QLatin1Char('W'))) {
            // Broken after a space, and the next word would not have fitted.
            EXPECT_TRUE(line.endsWith(QLatin1Char(' '))) << i;
            const QString next = memo.LineText(i + 1).section(QLatin1Char(' '), 0, 0);
            EXPECT_GT(fm.horizontalAdvance(line + next), width - 1) << i;
        }
    }
    EXPECT_EQ(joined, memo.toPlainText());
    // The long word fills whole lines, then its rest.
    EXPECT_TRUE(memo.LineText(memo.LineCount() - 2).startsWith(QLatin1Char('W')));
    EXPECT_EQ(memo.LineText(memo.LineCount() - 2).count(QLatin1Char('W')),
              memo.LineText(memo.LineCount() - 2).size());
}

TEST_F(LogMemoTest, PiecewiseEditsWrapLikeTheWholeText)
{
    // Appends in pieces that end mid-word, as reads do.
    const QString text = HexLines(40).remove(QLatin1Char('\r')).replace(
        QStringLiteral("01"), QStringLiteral("0123456789ABCDEF0123456789"));
    for (qsizetype at = 0; at < text.size(); at += 7)
        memo.ReplaceSelection(text.mid(at, 7));
    TLogMemo whole;
    whole.resize(memo.size());
    whole.show();
    whole.ReplaceSelection(text);
    EXPECT_EQ(Lines(), [&] {
        QStringList all;
        for (qsizetype i = 0; i < whole.LineCount(); ++i)
            all << whole.LineText(i);
        return all.join(QLatin1Char('|'));
    }());

    // An insertion in the middle that splits a word and a deletion that joins lines.
    memo.SetCaret(30);
    memo.ReplaceSelection(QStringLiteral(" X "));
    memo.SetSelection(100, 160);
    memo.ReplaceSelection(QString());
    TLogMemo again;
    again.resize(memo.size());
    again.show();
    again.ReplaceSelection(memo.toPlainText());
    ASSERT_EQ(memo.LineCount(), again.LineCount());
    for (qsizetype i = 0; i < memo.LineCount(); ++i)
        EXPECT_EQ(memo.LineText(i), again.LineText(i)) << i;

    // A narrower window wraps everything anew.
    const qsizetype before = memo.LineCount();
    memo.resize(140, 120);
    QCoreApplication::processEvents();
    EXPECT_GT(memo.LineCount(), before);
}

TEST_F(LogMemoTest, ReplaceSelectionGoesToTheCaretAndCanBeUndoneOnce)
{
    memo.ReplaceSelection(QStringLiteral("AA \r\nBB \r\n"));
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("AA \nBB \n"));
    EXPECT_EQ(memo.CaretPosition(), 8);
    EXPECT_EQ(memo.LineCount(), 3);
    EXPECT_TRUE(memo.LineText(2).isEmpty());
    // A lone CR or LF stays as it is.
    memo.ReplaceSelection(QStringLiteral("A\rB\nC\r"));
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("AA \nBB \nA\rB\nC\r"));

    // A selection made backwards is replaced all the same.
    memo.SetSelection(6, 1);
    EXPECT_EQ(memo.SelectedText(), QStringLiteral("A \nBB"));
    memo.ReplaceSelection(QStringLiteral("xy"));
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("Axy \nA\rB\nC\r"));
    EXPECT_EQ(memo.CaretPosition(), 3);
    memo.undo();
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("AA \nBB \nA\rB\nC\r"));
    memo.undo();
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("AA \nBB \nA\rB\nC\r"));

    memo.Clear();
    EXPECT_TRUE(memo.toPlainText().isEmpty());
    EXPECT_EQ(memo.LineCount(), 1);
    EXPECT_EQ(memo.CaretPosition(), 0);
    memo.undo();
    EXPECT_TRUE(memo.toPlainText().isEmpty());
    // Out-of-range caret requests are clamped.
    memo.ReplaceSelection(QStringLiteral("abc"));
    memo.SetSelection(-5, 99);
    EXPECT_EQ(memo.SelectedText(), QStringLiteral("abc"));
}

TEST_F(LogMemoTest, TypedKeysEditAtTheCaret)
{
    QTest::keyClicks(&memo, QStringLiteral("hello"));
    QTest::keyClick(&memo, Qt::Key_Return);
    QTest::keyClicks(&memo, QStringLiteral("world"));
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("hello\nworld"));
    QTest::keyClick(&memo, Qt::Key_Up);
    EXPECT_EQ(memo.CaretPosition(), 5);
    QTest::keyClick(&memo, Qt::Key_Home);
    QTest::keyClick(&memo, Qt::Key_Delete);
    QTest::keyClick(&memo, Qt::Key_Right);
    QTest::keyClick(&memo, Qt::Key_Backspace);
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("llo\nworld"));
    QTest::keyClick(&memo, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(memo.SelectedText(), QStringLiteral("llo"));
    QTest::keyClick(&memo, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(memo.SelectedText(), QStringLiteral("ll"));
    QTest::keyClicks(&memo, QStringLiteral("Z"));
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("Zo\nworld"));
    QTest::keyClick(&memo, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(memo.CaretPosition(), memo.toPlainText().size());
    // Typing in a row is one change to take back.
    QTest::keyClicks(&memo, QStringLiteral("!?"));
    QTest::keyClick(&memo, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("Zo\nworld"));
    // Control characters are not text.
    QTest::keyClick(&memo, Qt::Key_Escape);
    QTest::keyClick(&memo, Qt::Key_Tab);
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("Zo\nworld"));

    // Input method results are typed text.
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("中文"));
    QApplication::sendEvent(&memo, &commit);
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("Zo\nworld中文"));

    // Clipboard round trip: select all, cut, paste twice.
    QTest::keyClick(&memo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&memo, Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(memo.toPlainText().isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Zo\nworld中文"));
    QGuiApplication::clipboard()->setText(QStringLiteral("a\r\nb"));
    QTest::keyClick(&memo, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(&memo, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("a\nba\nb"));
    QTest::keyClick(&memo, Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(&memo, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("a\nba\nb"));

    memo.setReadOnly(true);
    QTest::keyClicks(&memo, QStringLiteral("no"));
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("a\nba\nb"));
}

TEST_F(LogMemoTest, SurrogatePairsMoveDeleteAndWrapAsOneCharacter)
{
    const char32_t face = U'\U0001F600';
    const QString smile = QString::fromUcs4(&face, 1);
    memo.ReplaceSelection(QStringLiteral("a") + smile + QStringLiteral("b"));
    memo.SetCaret(4);
    QTest::keyClick(&memo, Qt::Key_Left);
    EXPECT_EQ(memo.CaretPosition(), 3);
    QTest::keyClick(&memo, Qt::Key_Left);
    EXPECT_EQ(memo.CaretPosition(), 1);
    QTest::keyClick(&memo, Qt::Key_Delete);
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("ab"));
    memo.SetCaret(2);
    memo.ReplaceSelection(smile.repeated(100));
    QTest::keyClick(&memo, Qt::Key_Backspace);
    EXPECT_EQ(memo.toPlainText().size(), 2 + 99 * 2);
    ASSERT_GT(memo.LineCount(), 1);
    for (qsizetype i = 0; i < memo.LineCount(); ++i)
        EXPECT_FALSE(memo.LineText(i).back().isHighSurrogate()) << i;
}

TEST_F(LogMemoTest, VerticalMovesKeepTheColumnAndPageByTheView)
{
    memo.ReplaceSelection(QStringLiteral("abcdef\nab\nabcdef\n") + HexLines(100));
    memo.SetCaret(5);
    QTest::keyClick(&memo, Qt::Key_Down);
    EXPECT_EQ(memo.CaretPosition(), 9); // end of the short line
    QTest::keyClick(&memo, Qt::Key_Down);
    EXPECT_EQ(memo.CaretPosition(), 15); // the column comes back
    memo.SetCaret(0);
    QTest::keyClick(&memo, Qt::Key_PageDown);
    const int page = memo.verticalScrollBar()->pageStep();
    EXPECT_GT(page, 1);
    EXPECT_EQ(memo.FirstVisibleLine(), page);
    QTest::keyClick(&memo, Qt::Key_PageUp);
    EXPECT_EQ(memo.CaretPosition(), 0);
    EXPECT_EQ(memo.FirstVisibleLine(), 0);
    // The caret is kept in view.
    QTest::keyClick(&memo, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(memo.FirstVisibleLine(), memo.verticalScrollBar()->maximum());
}

TEST_F(LogMemoTest, ScrollToBottomShowsTheLastLineAndPaintDrawsOnlyVisibleLines)
{
    memo.ReplaceSelection(HexLines(5000));
    QScrollBar* bar = memo.verticalScrollBar();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(bar->maximum(), memo.LineCount() - bar->pageStep());
    memo.ScrollToBottom();
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(memo.FirstVisibleLine() + bar->pageStep(), memo.LineCount());

    const QImage shot = memo.viewport()->grab().toImage();
    EXPECT_GT(memo.LastPaintedLines(), 0);
    EXPECT_LE(memo.LastPaintedLines(), bar->pageStep() + 1);
    EXPECT_EQ(shot.pixelColor(shot.width() - 2, 1), memo.palette().color(QPalette::Base));
    int ink = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            ink += shot.pixelColor(x, y) == memo.palette().color(QPalette::Text);
    EXPECT_GT(ink, 20);

    // The wheel scrolls.
    const int at = bar->value();
    QWheelEvent up(QPointF(10, 10), memo.viewport()->mapToGlobal(QPointF(10, 10)), QPoint(),
                   QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(memo.viewport(), &up);
    EXPECT_LT(bar->value(), at);
}

TEST_F(LogMemoTest, MouseClickDragAndDoubleClickSelect)
{
    memo.ReplaceSelection(QStringLiteral("5A 5A 01\nAB CD\n"));
    QWidget* view = memo.viewport();
    QTest::mouseClick(view, Qt::LeftButton, {}, PointAt(1, 500));
    EXPECT_EQ(memo.CaretPosition(), 14); // past the end of the line: its end
    QTest::mouseClick(view, Qt::LeftButton, {}, PointAt(0, 0));
    EXPECT_EQ(memo.CaretPosition(), 0);
    QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, PointAt(1, 500));
    EXPECT_EQ(memo.SelectedText(), QStringLiteral("5A 5A 01\nAB CD"));

    QTest::mousePress(view, Qt::LeftButton, {}, PointAt(0, 0));
    QTest::mouseMove(view, PointAt(1, 500));
    QMouseEvent move(QEvent::MouseMove, PointAt(1, 500), view->mapToGlobal(PointAt(1, 500)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    QTest::mouseRelease(view, Qt::LeftButton, {}, PointAt(1, 500));
    EXPECT_EQ(memo.SelectedText(), QStringLiteral("5A 5A 01\nAB CD"));

    const qreal cd = QFontMetricsF(memo.font()).horizontalAdvance(QStringLiteral("AB C"));
    QTest::mouseDClick(view, Qt::LeftButton, {}, PointAt(1, cd));
    EXPECT_EQ(memo.SelectedText(), QStringLiteral("CD"));
}

} // namespace
} // namespace rv::test
