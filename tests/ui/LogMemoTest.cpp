// The log control: edits at the caret, the one-step undo, keys and mouse, scrolling, painting
// of the visible lines only, and wrapping at the view's width.
#include "UiTestSupport.h"

#include "rangeview/ui/LogMemo.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QMenu>
#include <QScrollBar>
#include <QWindow>
#include <QScreen>
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

    QPoint PointAt(qsizetype line, qreal x) const
    {
        const QFontMetricsF fm(memo.font());
        const qreal row = std::ceil(fm.lineSpacing());
        const qsizetype shown = line - memo.FirstVisibleLine();
        return QPoint(3 + static_cast<int>(x), 3 + static_cast<int>((shown + 0.5) * row));
    }
};

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

QStringList AllLines(const TLogMemo& m)
{
    QStringList all;
    for (qsizetype i = 0; i < m.LineCount(); ++i)
        all << m.LineText(i);
    return all;
}

TEST_F(LogMemoTest, UndoRestoresTheTextBeforeTheLastEditWhereverItWas)
{
    memo.ReplaceSelection(HexLines(600));
    const QString before = memo.toPlainText();
    const QStringList lines = AllLines(memo);
    memo.SetSelection(100, before.size() - 100);
    memo.ReplaceSelection(QStringLiteral("x"));
    EXPECT_EQ(memo.toPlainText().size(), 201);
    memo.undo();
    EXPECT_EQ(memo.toPlainText(), before);
    EXPECT_EQ(AllLines(memo), lines);
}

TEST_F(LogMemoTest, ClickingALineDeepInALongLogPutsTheCaretOnIt)
{
    memo.ReplaceSelection(HexLines(2000));
    memo.verticalScrollBar()->setValue(1234);
    QTest::mouseClick(memo.viewport(), Qt::LeftButton, {}, PointAt(1240, 0));
    EXPECT_EQ(memo.toPlainText().mid(memo.CaretPosition(), memo.LineText(1240).size()),
              memo.LineText(1240));
}

// ---- the right-click menu ----

QAction* Entry(QMenu* menu, const char* name)
{
    return menu->findChild<QAction*>(QLatin1String(name));
}

TEST_F(LogMemoTest, ContextMenuEnablesWhatTheStateAllows)
{
    QGuiApplication::clipboard()->clear();
    std::unique_ptr<QMenu> menu(memo.CreateContextMenu());
    for (const char* name : {"Undo", "Cut", "Copy", "Paste", "Delete", "SelectAll"}) {
        ASSERT_NE(Entry(menu.get(), name), nullptr) << name;
        EXPECT_FALSE(Entry(menu.get(), name)->isEnabled()) << name;
    }
    EXPECT_TRUE(Entry(menu.get(), "Undo")->text().startsWith(QStringLiteral("撤销")));
    EXPECT_TRUE(Entry(menu.get(), "Copy")
                    ->text()
                    .contains(QKeySequence(QKeySequence::Copy).toString(QKeySequence::NativeText)));

    memo.ReplaceSelection(QStringLiteral("AA BB"));
    QGuiApplication::clipboard()->setText(QStringLiteral("x"));
    menu.reset(memo.CreateContextMenu());
    EXPECT_TRUE(Entry(menu.get(), "Undo")->isEnabled());
    EXPECT_FALSE(Entry(menu.get(), "Cut")->isEnabled());
    EXPECT_FALSE(Entry(menu.get(), "Copy")->isEnabled());
    EXPECT_FALSE(Entry(menu.get(), "Delete")->isEnabled());
    EXPECT_TRUE(Entry(menu.get(), "Paste")->isEnabled());
    EXPECT_TRUE(Entry(menu.get(), "SelectAll")->isEnabled());

    memo.SetSelection(5, 0);
    menu.reset(memo.CreateContextMenu());
    EXPECT_TRUE(Entry(menu.get(), "Cut")->isEnabled());
    EXPECT_TRUE(Entry(menu.get(), "Copy")->isEnabled());
    EXPECT_TRUE(Entry(menu.get(), "Delete")->isEnabled());
    EXPECT_FALSE(Entry(menu.get(), "SelectAll")->isEnabled()); // all is selected already

    memo.setReadOnly(true);
    menu.reset(memo.CreateContextMenu());
    EXPECT_FALSE(Entry(menu.get(), "Undo")->isEnabled());
    EXPECT_FALSE(Entry(menu.get(), "Cut")->isEnabled());
    EXPECT_TRUE(Entry(menu.get(), "Copy")->isEnabled());
    EXPECT_FALSE(Entry(menu.get(), "Paste")->isEnabled());
    EXPECT_FALSE(Entry(menu.get(), "Delete")->isEnabled());
}

TEST_F(LogMemoTest, ContextMenuEntriesEditLikeTheirShortcuts)
{
    memo.ReplaceSelection(QStringLiteral("one two three"));
    memo.SetSelection(4, 7);
    std::unique_ptr<QMenu> menu(memo.CreateContextMenu());
    Entry(menu.get(), "Copy")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("two"));
    Entry(menu.get(), "Delete")->trigger();
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("one  three"));
    EXPECT_NE(QGuiApplication::clipboard()->text(), QString()); // Delete leaves the clipboard

    menu.reset(memo.CreateContextMenu());
    Entry(menu.get(), "Undo")->trigger();
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("one two three"));

    memo.SetSelection(0, 3);
    menu.reset(memo.CreateContextMenu());
    Entry(menu.get(), "Cut")->trigger();
    EXPECT_EQ(memo.toPlainText(), QStringLiteral(" two three"));
    memo.SetCaret(memo.toPlainText().size());
    menu.reset(memo.CreateContextMenu());
    Entry(menu.get(), "Paste")->trigger();
    EXPECT_EQ(memo.toPlainText(), QStringLiteral(" two threeone"));

    menu.reset(memo.CreateContextMenu());
    Entry(menu.get(), "SelectAll")->trigger();
    EXPECT_EQ(memo.SelectedText(), memo.toPlainText());
}

TEST_F(LogMemoTest, RightClickOpensTheMenuWithoutMovingTheCaret)
{
    memo.ReplaceSelection(QStringLiteral("5A 5A 01\nAB CD\n"));
    memo.SetCaret(3);
    QTest::mouseClick(memo.viewport(), Qt::RightButton, {}, PointAt(1, 10));
    EXPECT_EQ(memo.CaretPosition(), 3);
    QContextMenuEvent click(QContextMenuEvent::Mouse, PointAt(1, 10),
                            memo.viewport()->mapToGlobal(PointAt(1, 10)));
    QApplication::sendEvent(memo.viewport(), &click);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_NE(Entry(menu, "SelectAll"), nullptr);
    menu->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(memo.CaretPosition(), 3);
}

TEST_F(LogMemoTest, TheScrollBarRepaintsWhenItsPictureChangesNotForEveryLine)
{
    QScrollBar* bar = memo.verticalScrollBar();
    const auto shown = [&] {
        // What the window shows of the bar against what a fresh paint of it gives.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        const QPoint at = bar->mapTo(memo.window(), QPoint(0, 0));
        const QImage screen =
            memo.window()
                ->windowHandle()
                ->screen()
                ->grabWindow(memo.window()->winId(), at.x(), at.y(), bar->width(), bar->height())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        const QImage fresh = bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
        return screen == fresh;
    };
    const auto append = [&](int lines) {
        for (int i = 0; i < lines; ++i) {
            memo.ReplaceSelection(QStringLiteral("0A FF 00 \r\n"));
            memo.ScrollToBottom();
            QCoreApplication::processEvents();
        }
    };
    append(30); // the handle shrinks and moves as the first pages fill
    EXPECT_TRUE(shown());
    append(3000);
    EXPECT_TRUE(shown());

    // Pinned to the bottom at its least length, the handle no longer moves.
    PaintCounter count;
    append(300);
    EXPECT_LE(count.Paints[bar], 1);
    EXPECT_TRUE(shown());

    // Moved by the user or by the program, it is repainted.
    bar->setValue(0);
    EXPECT_TRUE(shown());
    EXPECT_GE(count.Paints[bar], 1);
    bar->setValue(bar->maximum() / 2);
    EXPECT_TRUE(shown());
    memo.Clear();
    EXPECT_TRUE(shown());
}

TEST_F(LogMemoTest, TheWrapWidthFollowsTheWindowAndTheScrollBarsStyle)
{
    QScrollBar* bar = memo.verticalScrollBar();
    const int before = bar->sizeHint().width();
    // A word that just fits the width the bar leaves now.
    QString word;
    const QFontMetricsF fm(memo.font());
    const qreal room = memo.contentsRect().width() - before - 6;
    while (fm.horizontalAdvance(word + QLatin1Char('x')) <= room - 2)
        word += QLatin1Char('x');
    memo.ReplaceSelection(word);
    EXPECT_EQ(memo.LineCount(), 1);

    memo.setStyleSheet(QStringLiteral("QScrollBar:vertical { width: %1px; }").arg(before + 40));
    EXPECT_EQ(bar->sizeHint().width(), before + 40);
    memo.ReplaceSelection(QString()); // any edit wraps at the new width
    EXPECT_EQ(memo.LineCount(), 2);

    // A narrower window wraps everything anew.
    memo.resize(140, 120);
    QCoreApplication::processEvents();
    EXPECT_GT(memo.LineCount(), 2);
}

} // namespace
} // namespace rv::test
