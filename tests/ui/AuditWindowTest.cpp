// Further window cases: the clear after the user panned the waveform away, the remaining
// countdown and diagnostics cases of the tracker, and presentation corners.
#include "UiTestSupport.h"

#include <QLocale>

namespace rv::test {
namespace {

using ClearAfterPanTest = FormTest;

TEST_F(ClearAfterPanTest, ClearPutsTheWindowBackEvenWhenTheBottomAxisEndsBelowZero)
{
    WaveformOn();
    for (int i = 0; i < 20; ++i)
        FeedReading(1000);
    // The user drags the waveform far to the right.
    H().ScrollBy(-400, false);
    ASSERT_LT(H().Maximum(), 0.0);

    Parts(form).Button3->click();
    EXPECT_TRUE(sink.Messages.empty());
    EXPECT_EQ(H().Minimum(), 0.0);
    EXPECT_EQ(H().Maximum(), 199.0);
    EXPECT_FALSE(H().Automatic());
    EXPECT_EQ(Parts(form).SampleIndex, 0);

    // The new points are plotted from X = 0 inside the restored window.
    FeedReading(1000);
    EXPECT_EQ(form->Series1().XValues().LastValue(), 0.0);
    EXPECT_EQ(H().Minimum(), 0.0);
    EXPECT_EQ(H().Maximum(), 199.0);
}

TEST_F(ClearAfterPanTest, ClearAfterAPanToTheRightAlsoRestoresTheWindow)
{
    WaveformOn();
    for (int i = 0; i < 20; ++i)
        FeedReading(1000);
    H().ScrollBy(400, false);
    ASSERT_GT(H().Minimum(), 199.0);
    Parts(form).Button3->click();
    EXPECT_TRUE(sink.Messages.empty());
    EXPECT_EQ(H().Minimum(), 0.0);
    EXPECT_EQ(H().Maximum(), 199.0);
}

} // namespace
} // namespace rv::test

namespace rv::test {
namespace {

class AuditTrackerTest : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        WaveformOn();
    }
    static QString Fixed(const char* text)
    {
        return QString::fromLatin1(text).replace(QLatin1Char('.'),
                                                 QLocale::system().decimalPoint());
    }
};

TEST_F(AuditTrackerTest, WideningDownBelowZeroShowsANegativeMinimum)
{
    FeedReading(1000);
    FeedReading(1010);
    FeedReading(1020); // V 102 to 103
    FeedReading(0); // X = 3, y = 0: widened down to -1; the rescan finds the 102 in slot 2
    EXPECT_EQ(V().Minimum(), -1.0);
    EXPECT_EQ(V().Maximum(), 103.0);
    EXPECT_EQ(Parts(form).Edit2->text(), QStringLiteral("2,2"));
    EXPECT_EQ(Parts(form).Edit1->text(), Fixed("103.00,-1.00"));
}

TEST_F(AuditTrackerTest, SeveralFramesInOneReadLeaveTheLastPointsDiagnostics)
{
    std::vector<std::uint8_t> bytes = FrameBytes(1000, 3);
    const std::vector<std::uint8_t> second = FrameBytes(1010, 3);
    bytes.insert(bytes.end(), second.begin(), second.end());
    Feed(bytes);
    EXPECT_EQ(Parts(form).Edit2->text(), QStringLiteral("254,1"));
    EXPECT_EQ(Parts(form).Edit1->text(), Fixed("101.00,0.00"));
    EXPECT_EQ(Parts(form).SampleIndex, 2);
}

TEST_F(AuditTrackerTest, NewMinimumAtRingPositionZeroCountsDownFrom255)
{
    for (int i = 0; i < 200; ++i)
        FeedReading(1000);
    ASSERT_EQ(Parts(form).Tracker.WaveRingPos, 0);
    FeedReading(500);
    EXPECT_EQ(V().Minimum(), 49.0);
    EXPECT_EQ(Parts(form).Edit2->text().section(QLatin1Char(','), 1), QStringLiteral("255"));
    EXPECT_EQ(Parts(form).Tracker.WaveMinIndex, 254);
}

TEST_F(AuditTrackerTest, RescanTakesTheLowestSlotAmongEqualExtremes)
{
    for (int i = 0; i < 300; ++i)
        FeedReading(500); // past the third point and the first window
    WaveformTracker& t = Parts(form).Tracker;
    t.WaveRing.fill(50.0);
    t.WaveRing[9] = 120.0;
    t.WaveRing[5] = 120.0;
    t.WaveRing[150] = 10.0;
    t.WaveRing[7] = 10.0;
    t.WaveMaxIndex = 0;
    t.WaveMinIndex = 0;
    V().SetRange(0, 200);

    FeedReading(600); // y = 60, inside the range: only the rescan moves it
    EXPECT_EQ(Parts(form).Edit2->text(), QStringLiteral("5,7"));
    EXPECT_EQ(V().Maximum(), 121.0);
    EXPECT_EQ(V().Minimum(), 9.0);
    EXPECT_EQ(t.WaveMaxIndex, 4);
    EXPECT_EQ(t.WaveMinIndex, 6);
}

TEST_F(AuditTrackerTest, RescanKeepsAnIndexNoSlotBeats)
{
    for (int i = 0; i < 300; ++i)
        FeedReading(500);
    WaveformTracker& t = Parts(form).Tracker;
    t.WaveRing.fill(50.0);
    t.WaveMaxIndex = 0;
    t.WaveMinIndex = 7;
    V().SetRange(39, 51);

    FeedReading(400); // y = 40: every slot is above it, none below
    EXPECT_EQ(Parts(form).Edit2->text(), QStringLiteral("0,7"));
    EXPECT_EQ(V().Maximum(), 51.0); // margin to 50 is 1
    EXPECT_EQ(V().Minimum(), 39.0);
}

using AuditPresentationTest = FormTest;

TEST_F(AuditPresentationTest, EveryByteValueEchoesAsTwoUpperCaseDigitsAndASpace)
{
    EchoOn();
    std::vector<std::uint8_t> all(256);
    QString expected;
    for (int b = 0; b < 256; ++b) {
        all[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b);
        expected += QStringLiteral("%1 ").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    }
    Feed(all);
    EXPECT_EQ(Parts(form).Memo1->toPlainText(), expected);
    EXPECT_EQ(Parts(form).RxCount, 256);
}

TEST_F(AuditPresentationTest, EveryNamedModeShowsItsName)
{
    const QString names[] = {QStringLiteral("长距离模式"), QStringLiteral("高速模式"),
                             QStringLiteral("高精度模式"), QStringLiteral("一般模式")};
    for (std::uint8_t mode : {1, 0, 3, 2, 1}) {
        FeedReading(100, mode);
        EXPECT_EQ(Parts(form).Label13->text(), names[mode]);
        EXPECT_EQ(Parts(form).Label12->text(), QString::number(mode));
    }
}

TEST_F(AuditPresentationTest, ReadOutLabelsSizeToTheirTextAfterARead)
{
    FeedReading(7);
    const int narrow = Parts(form).Label4->width();
    EXPECT_EQ(Parts(form).Label4->text(), QStringLiteral("7"));
    FeedReading(65535);
    EXPECT_EQ(Parts(form).Label4->text(), QStringLiteral("65535"));
    EXPECT_GT(Parts(form).Label4->width(), narrow);
    EXPECT_EQ(Parts(form).Label4->size(), Parts(form).Label4->sizeHint());
    FeedReading(0);
    EXPECT_EQ(Parts(form).Label4->text(), QStringLiteral("0"));
    EXPECT_EQ(Parts(form).Label4->size(), Parts(form).Label4->sizeHint());
    EXPECT_EQ(Parts(form).Label10->size(), Parts(form).Label10->sizeHint());
}

TEST_F(AuditPresentationTest, ASelectionOfNoItemLeavesTheStatusText)
{
    form->SetStatusText(QStringLiteral("kept"));
    Parts(form).ComboBox3->setCurrentIndex(-1);
    form->ComboBox3Change();
    EXPECT_EQ(form->StatusText(), QStringLiteral("kept"));
    Parts(form).ComboBox3->setCurrentIndex(8);
    form->ComboBox3Change();
    EXPECT_FALSE(form->StatusText().isEmpty());
    EXPECT_NE(form->StatusText(), QStringLiteral("kept"));
}

} // namespace
} // namespace rv::test

namespace rv::test {
namespace {

using AuditSwitchTest = FormTest;

TEST_F(AuditSwitchTest, OnlyTheExactCaptionsCountAsOn)
{
    // A caption that is neither state counts as off, and a click turns it to the off caption.
    Parts(form).BitBtn2->setText(QStringLiteral("关闭显示 "));
    Parts(form).Button5->setText(QStringLiteral("不显示 "));
    FeedReading(1234);
    EXPECT_EQ(form->Series1().PointCount(), 0);
    EXPECT_TRUE(Parts(form).Memo1->toPlainText().isEmpty());
    Parts(form).BitBtn2->click();
    Parts(form).Button5->click();
    EXPECT_EQ(Parts(form).BitBtn2->text(), QStringLiteral("显示波形"));
    EXPECT_EQ(Parts(form).Button5->text(), QStringLiteral("显示"));
}

TEST_F(AuditSwitchTest, ClearKeepsTheRememberedModeAndTheAutoSendState)
{
    FeedReading(900, 2);
    Parts(form).Button4->setText(QStringLiteral("停止发送"));
    Parts(form).Timer1->setInterval(1000);
    Parts(form).Timer1->start();
    Parts(form).Button3->click();
    EXPECT_EQ(Parts(form).LastMode, 2);
    EXPECT_EQ(Parts(form).Label13->text(), QStringLiteral("高精度模式"));
    EXPECT_EQ(Parts(form).Label12->text(), QStringLiteral("2"));
    EXPECT_EQ(Parts(form).Button4->text(), QStringLiteral("停止发送"));
    EXPECT_TRUE(Parts(form).Timer1->isActive());
    Parts(form).Timer1->stop();
    // The same mode again is no change: the caption is not written.
    Parts(form).Label13->setText(QStringLiteral("marker"));
    FeedReading(900, 2);
    EXPECT_EQ(Parts(form).Label13->text(), QStringLiteral("marker"));
}

} // namespace
} // namespace rv::test
