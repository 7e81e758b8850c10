// Received data presentation: counters, read-out, mode names, hex echo and plotting.
#include "EventWait.h"
#include "UiTestSupport.h"

#include "rangeview/chart/qt/ChartControl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

#include <map>
#include <stdexcept>
#include <utility>

namespace rv::test {
namespace {

using PresentationTest = FormTest;

const std::vector<std::uint8_t> Frame1234 = {0x5A, 0x5A, 0x01, 0x03, 0x04, 0xD2, 0x03, 0x91};

TEST_F(PresentationTest, OneFrameInOneRead)
{
    EchoOn();
    WaveformOn();
    Parts(form).LastMode = 0;
    Feed(Frame1234);
    EXPECT_EQ(Parts(form).Label4->text(), QStringLiteral("1234"));
    EXPECT_EQ(Parts(form).Label12->text(), QStringLiteral("3"));
    EXPECT_EQ(Parts(form).Label13->text(), QStringLiteral("一般模式"));
    EXPECT_EQ(Parts(form).LastMode, 3);
    EXPECT_EQ(Parts(form).RxCount, 8);
    EXPECT_EQ(Parts(form).Label10->text(), QStringLiteral("8"));
    EXPECT_EQ(Parts(form).Memo1->toPlainText(), QStringLiteral("5A 5A 01 03 04 D2 03 91 \n"));
    ASSERT_EQ(form->Series1().PointCount(), 1);
    EXPECT_EQ(form->Series1().XValues().ValueAt(0), 0.0);
    EXPECT_EQ(form->Series1().YValues().ValueAt(0), 123.40000152587890625);
    EXPECT_EQ(Parts(form).SampleIndex, 1);
}

TEST_F(PresentationTest, FrameSplitOverTwoReadsGivesOneReadingAtTheSecond)
{
    EchoOn();
    WaveformOn();
    Feed({Frame1234.begin(), Frame1234.begin() + 3});
    EXPECT_EQ(Parts(form).RxCount, 3);
    EXPECT_TRUE(Parts(form).Label4->text().isEmpty());
    EXPECT_EQ(form->Series1().PointCount(), 0);
    EXPECT_EQ(Parts(form).Memo1->toPlainText(), QStringLiteral("5A 5A 01 "));

    Feed({Frame1234.begin() + 3, Frame1234.end()});
    EXPECT_EQ(Parts(form).RxCount, 8);
    EXPECT_EQ(Parts(form).Label10->text(), QStringLiteral("8"));
    EXPECT_EQ(Parts(form).Label4->text(), QStringLiteral("1234"));
    EXPECT_EQ(form->Series1().PointCount(), 1);
    EXPECT_EQ(Parts(form).Memo1->toPlainText(), QStringLiteral("5A 5A 01 03 04 D2 03 91 \n"));
}

TEST_F(PresentationTest, BadChecksumIsEchoedWithoutLineBreakAndChangesNothingElse)
{
    EchoOn();
    WaveformOn();
    FeedReading(500, 1);
    std::vector<std::uint8_t> bad = Frame1234;
    bad.back() = 0x90;
    Feed(bad);
    EXPECT_EQ(Parts(form).Label4->text(), QStringLiteral("500"));
    EXPECT_EQ(Parts(form).Label12->text(), QStringLiteral("1"));
    EXPECT_EQ(form->Series1().PointCount(), 1);
    EXPECT_EQ(Parts(form).RxCount, 16);
    EXPECT_TRUE(
        Parts(form).Memo1->toPlainText().endsWith(QStringLiteral("\n5A 5A 01 03 04 D2 03 90 ")));
    EXPECT_TRUE(sink.Messages.empty());
}

TEST_F(PresentationTest, ModeNameIsWrittenOnlyWhenTheModeChanges)
{
    // Two frames with mode 0 in one read: the name is written at the first.
    std::vector<std::uint8_t> two = FrameBytes(700, 0);
    const std::vector<std::uint8_t> more = FrameBytes(701, 0);
    two.insert(two.end(), more.begin(), more.end());
    Feed(two);
    EXPECT_EQ(Parts(form).Label13->text(), QStringLiteral("长距离模式"));
    EXPECT_EQ(Parts(form).Label4->text(), QStringLiteral("701"));
    EXPECT_EQ(Parts(form).LastMode, 0);

    // With the mode remembered, another mode-0 frame leaves the caption alone.
    Parts(form).Label13->setText(QStringLiteral("marker"));
    Feed(two);
    EXPECT_EQ(Parts(form).Label13->text(), QStringLiteral("marker"));
}

TEST_F(PresentationTest, UnnamedModeIsRememberedButKeepsThePreviousName)
{
    FeedReading(800, 2);
    EXPECT_EQ(Parts(form).Label13->text(), QStringLiteral("高精度模式"));
    FeedReading(800, 7);
    EXPECT_EQ(Parts(form).Label12->text(), QStringLiteral("7"));
    EXPECT_EQ(Parts(form).Label13->text(), QStringLiteral("高精度模式"));
    EXPECT_EQ(Parts(form).LastMode, 7);
    Parts(form).Label13->setText(QStringLiteral("marker"));
    FeedReading(800, 2); // 2 differs from the remembered 7
    EXPECT_EQ(Parts(form).Label13->text(), QStringLiteral("高精度模式"));
    FeedReading(800, 255);
    EXPECT_EQ(Parts(form).Label12->text(), QStringLiteral("255"));
}

TEST_F(PresentationTest, ARunOfFramesInOneReadLeavesTheReadOutAsFrameByFrameWould)
{
    // 2 then the unnamed 7: the number shows 7, the name stays that of 2.
    Feed(Frames({{801, 2}, {802, 7}}));
    EXPECT_EQ(Parts(form).Label4->text(), QStringLiteral("802"));
    EXPECT_EQ(Parts(form).Label12->text(), QStringLiteral("7"));
    EXPECT_EQ(Parts(form).Label13->text(), QStringLiteral("高精度模式"));
    EXPECT_EQ(Parts(form).LastMode, 7);

    // From the remembered 7, through 1, back to 7: the name of 1 was written on the way.
    Parts(form).Label13->setText(QStringLiteral("marker"));
    Feed(Frames({{803, 1}, {804, 7}}));
    EXPECT_EQ(Parts(form).Label13->text(), QStringLiteral("高速模式"));
    EXPECT_EQ(Parts(form).Label12->text(), QStringLiteral("7"));

    // 0, 3, 0 against a remembered 7: the last name written is that of 0.
    Feed(Frames({{805, 0}, {806, 3}, {807, 0}}));
    EXPECT_EQ(Parts(form).Label13->text(), QStringLiteral("长距离模式"));
    EXPECT_EQ(Parts(form).Label4->text(), QStringLiteral("807"));
    EXPECT_EQ(Parts(form).Label12->text(), QStringLiteral("0"));
}

TEST_F(PresentationTest, AChartFailureMidReadLeavesTheReadOutAsFarAsTheFramesGot)
{
    WaveformOn();
    FeedReading(700, 0);
    // The third point's handler fails: its distance was shown before plotting, its mode not.
    int added = 0;
    form->Series1().OnAfterAdd = [&added](TChartSeries*, std::int32_t) {
        if (++added == 2)
            throw std::runtime_error("chart");
    };
    EXPECT_THROW(Feed(Frames({{701, 1}, {702, 2}, {703, 3}})), std::runtime_error);
    EXPECT_EQ(Parts(form).Label4->text(), QStringLiteral("702"));
    EXPECT_EQ(Parts(form).Label12->text(), QStringLiteral("1"));
    EXPECT_EQ(Parts(form).Label13->text(), QStringLiteral("高速模式"));
}

TEST_F(PresentationTest, TheHiddenDiagnosticBoxesKeepTheirTextAndShowItWhenShown)
{
    WaveformOn();
    FeedReading(1010, 3);
    FeedReading(990, 3);
    QLineEdit* edit = Parts(form).Edit2;
    EXPECT_EQ(edit->text(), QStringLiteral("0,1"));
    EXPECT_TRUE(edit->displayText().isEmpty()); // nothing laid out while hidden
    edit->show();
    EXPECT_EQ(edit->displayText(), QStringLiteral("0,1"));
    edit->hide();
    FeedReading(1000, 3);
    EXPECT_EQ(edit->text(), QStringLiteral("0,2"));
    EXPECT_TRUE(edit->displayText().isEmpty());
    EXPECT_TRUE(Parts(form).Edit1->displayText().isEmpty());
    EXPECT_FALSE(Parts(form).Edit1->text().isEmpty());
}

TEST_F(PresentationTest, WaveformOffUpdatesTheReadOutButPlotsNothing)
{
    EXPECT_EQ(Parts(form).BitBtn2->text(), QStringLiteral("显示波形"));
    FeedReading(1234, 1);
    EXPECT_EQ(Parts(form).Label4->text(), QStringLiteral("1234"));
    EXPECT_EQ(form->Series1().PointCount(), 0);
    EXPECT_EQ(Parts(form).SampleIndex, 0);
    EXPECT_EQ(Parts(form).Edit2->text(), QStringLiteral("Edit2"));

    // On again: the next X continues from where it stood.
    WaveformOn();
    FeedReading(1234, 1);
    WaveformOn(); // off
    FeedReading(1234, 1);
    WaveformOn();
    FeedReading(1234, 1);
    EXPECT_EQ(form->Series1().PointCount(), 2);
    EXPECT_EQ(form->Series1().XValues().LastValue(), 1.0);
    EXPECT_EQ(Parts(form).SampleIndex, 2);
}

TEST_F(PresentationTest, EchoSwitchTogglesByCaptionAndOffLeavesTheLogAlone)
{
    Feed(Frame1234);
    EXPECT_TRUE(Parts(form).Memo1->toPlainText().isEmpty());
    Parts(form).Button5->click();
    EXPECT_EQ(Parts(form).Button5->text(), QStringLiteral("不显示"));
    Feed({0x0A, 0xFF, 0x00});
    EXPECT_EQ(Parts(form).Memo1->toPlainText(), QStringLiteral("0A FF 00 "));
    Parts(form).Button5->click();
    EXPECT_EQ(Parts(form).Button5->text(), QStringLiteral("显示"));
    Feed(Frame1234);
    EXPECT_EQ(Parts(form).Memo1->toPlainText(), QStringLiteral("0A FF 00 "));
    // Everything received is counted, echoed or not.
    EXPECT_EQ(Parts(form).RxCount, 19);
}

TEST_F(PresentationTest, ExactlyOneLineBreakPerValidFrame)
{
    EchoOn();
    std::vector<std::uint8_t> stream;
    for (int i = 0; i < 50; ++i) {
        const auto f = FrameBytes(static_cast<std::uint16_t>(1000 + i), 3);
        stream.insert(stream.end(), f.begin(), f.end());
        if (i % 10 == 0)
            stream.push_back(0x0D); // stray bytes between frames
    }
    for (std::size_t at = 0; at < stream.size(); at += 7)
        Feed({stream.begin() + static_cast<std::ptrdiff_t>(at),
              stream.begin() + static_cast<std::ptrdiff_t>(std::min(at + 7, stream.size()))});
    const QString text = Parts(form).Memo1->toPlainText();
    EXPECT_EQ(text.count(QLatin1Char('\n')), 50);
    EXPECT_FALSE(text.contains(QLatin1Char('\r')));
    // Each break is stored as the one character, and starts a line of its own.
    EXPECT_FALSE(text.contains(QChar(QChar::LineSeparator)));
    EXPECT_FALSE(text.contains(QChar(QChar::ParagraphSeparator)));
    EXPECT_GE(Parts(form).Memo1->LineCount(), 51);
    // Every line is one frame's pieces, each "XX ".
    const QStringList lines = text.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 51);
    EXPECT_EQ(lines[1], QStringLiteral("0D 5A 5A 01 03 03 E9 03 ") + lines[1].right(3));
    EXPECT_EQ(lines[2], QStringLiteral("5A 5A 01 03 03 EA 03 ") + lines[2].right(3));
    EXPECT_EQ(lines[2].size(), 24);
    EXPECT_TRUE(lines[50].isEmpty());
    EXPECT_EQ(text.count(QLatin1Char(' ')), static_cast<qsizetype>(stream.size()));
}

TEST_F(PresentationTest, EchoGoesToTheCaretAndTheLogScrollsToItsEnd)
{
    EchoOn();
    form->show();
    for (int i = 0; i < 40; ++i)
        FeedReading(1000);
    // The user puts the caret in the middle of the first line, selecting two characters.
    Parts(form).Memo1->SetSelection(3, 5);
    Parts(form).Memo1->verticalScrollBar()->setValue(0);

    Feed({0xAB, 0xCD});
    const QString first = Parts(form).Memo1->toPlainText().section(QLatin1Char('\n'), 0, 0);
    EXPECT_TRUE(first.startsWith(QStringLiteral("5A AB CD  01 ")));
    EXPECT_EQ(Parts(form).Memo1->CaretPosition(), 3 + 6);
    QScrollBar* bar = Parts(form).Memo1->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(PresentationTest, OnlyTheLatestEchoCanBeUndone)
{
    EchoOn();
    Feed({0x01});
    Feed({0x02});
    Parts(form).Memo1->undo();
    EXPECT_EQ(Parts(form).Memo1->toPlainText(), QStringLiteral("01 "));
    Parts(form).Memo1->undo();
    EXPECT_EQ(Parts(form).Memo1->toPlainText(), QStringLiteral("01 "));
}

TEST_F(PresentationTest, CountersShowInDecimalAndClearResetsThem)
{
    Feed(std::vector<std::uint8_t>(1000, 0x11));
    EXPECT_EQ(Parts(form).Label10->text(), QStringLiteral("1000"));
    form->ShowTxCount(-3);
    EXPECT_EQ(Parts(form).Label9->text(), QStringLiteral("-3"));
    bool linkReset = false;
    Parts(form).Hooks.ResetTxCount = [&] { linkReset = true; };
    Parts(form).Button3->click();
    EXPECT_EQ(Parts(form).Label9->text(), QStringLiteral("0"));
    EXPECT_EQ(Parts(form).Label10->text(), QStringLiteral("0"));
    EXPECT_EQ(form->TxCount(), 0);
    EXPECT_TRUE(linkReset);
}

TEST_F(PresentationTest, ReceivedCountWrapsLikeA32BitCounter)
{
    Parts(form).RxCount = 2147483647 - 2;
    Feed({1, 2, 3, 4});
    EXPECT_EQ(Parts(form).RxCount, -2147483647);
    EXPECT_EQ(Parts(form).Label10->text(), QStringLiteral("-2147483647"));
}

TEST_F(PresentationTest, PicturesArePacedToTheDisplayWhileValuesChangeAtOnce)
{
    form->show();
    ASSERT_TRUE(
        WaitUntil([&] { return form->windowHandle() && form->windowHandle()->isExposed(); }));
    EchoOn();
    WaveformOn();
    RunFor(std::chrono::milliseconds(50));
    PaintCounter counter;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 400; ++i) {
        FeedReading(static_cast<std::uint16_t>(1000 + i));
        // Nothing waits for a picture: the read-out has the value as soon as the read is in.
        ASSERT_EQ(Parts(form).Label4->text(), QString::number(1000 + i));
        QCoreApplication::processEvents();
    }
    RunFor(std::chrono::milliseconds(3 * static_cast<int>(TForm1::FrameIntervalNs / 1'000'000)));
    const qint64 frames = clock.nsecsElapsed() / TForm1::FrameIntervalNs + 1;
    for (QObject* w :
         {static_cast<QObject*>(Parts(form).Label4), static_cast<QObject*>(Parts(form).Label10),
          static_cast<QObject*>(Parts(form).Memo1->viewport()),
          static_cast<QObject*>(Parts(form).Chart1)}) {
        EXPECT_GE(counter.Paints[w], 1) << w->objectName().toStdString();
        EXPECT_LE(counter.Paints[w], frames) << w->objectName().toStdString();
    }
    // The last picture shows the last values.
    EXPECT_EQ(Parts(form).Memo1->LineText(Parts(form).Memo1->LineCount() - 2).left(5),
              QStringLiteral("5A 5A"));
    EXPECT_EQ(Parts(form).Label4->text(), QStringLiteral("1399"));
}

TEST_F(PresentationTest, ARepaintAskedForNowIsNotHeldBackToTheFrame)
{
    form->show();
    ASSERT_TRUE(
        WaitUntil([&] { return form->windowHandle() && form->windowHandle()->isExposed(); }));
    RunFor(std::chrono::milliseconds(50));
    PaintCounter counter;
    form->RepaintNow(Parts(form).Label4);
    form->RepaintNow(Parts(form).Label4);
    EXPECT_EQ(counter.Paints[Parts(form).Label4], 2);
    // The chart's zoom animation draws each step at once.
    Parts(form).Chart1->RepaintNow();
    Parts(form).Chart1->RepaintNow();
    EXPECT_EQ(counter.Paints[Parts(form).Chart1], 2);
}

} // namespace
} // namespace rv::test
