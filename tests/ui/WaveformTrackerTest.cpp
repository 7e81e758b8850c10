// Waveform window tracking: through the window (Edit1/Edit2, the horizontal window, clear) and
// on a bare chart core.
#include "UiTestSupport.h"

#include "rangeview/chart/Chart.h"
#include "rangeview/ui/WaveformTracker.h"

#include <QLineEdit>
#include <QLocale>
#include <QTest>

namespace rv::test {
namespace {

class TrackerFormTest : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        WaveformOn();
    }
    QString Fixed(const char* text) const
    {
        return QString::fromLatin1(text).replace(QLatin1Char('.'),
                                                 QLocale::system().decimalPoint());
    }
};

TEST_F(TrackerFormTest, FirstFourDistancesFitTheVerticalRangeStepByStep)
{
    FeedReading(1000); // X = 0, y = 100
    EXPECT_EQ(V().Minimum(), 0.0);
    EXPECT_EQ(V().Maximum(), 101.0);
    EXPECT_EQ(Parts(form).Edit2->text(), QStringLiteral("255,0"));
    EXPECT_EQ(Parts(form).Edit1->text(), Fixed("101.00,0.00"));

    FeedReading(1010); // X = 1, y = 101: not above 101
    EXPECT_EQ(V().Minimum(), 0.0);
    EXPECT_EQ(V().Maximum(), 101.0);
    EXPECT_EQ(Parts(form).Edit2->text(), QStringLiteral("254,1"));

    FeedReading(1020); // X = 2: widened to 103, then the third point lifts the minimum
    EXPECT_EQ(V().Minimum(), 102.0);
    EXPECT_EQ(V().Maximum(), 103.0);
    EXPECT_EQ(Parts(form).Edit2->text(), QStringLiteral("1,2"));
    EXPECT_EQ(Parts(form).Edit1->text(), Fixed("103.00,102.00"));

    FeedReading(1005); // X = 3: widened down to 99.5
    EXPECT_EQ(V().Minimum(), 99.5);
    EXPECT_EQ(V().Maximum(), 103.0);
    EXPECT_EQ(Parts(form).Edit2->text(), QStringLiteral("2,3"));
    EXPECT_EQ(Parts(form).Edit1->text(), Fixed("103.00,99.50"));

    EXPECT_EQ(Parts(form).SampleIndex, 4);
    EXPECT_EQ(form->Series1().PointCount(), 4);
    EXPECT_TRUE(sink.Messages.empty());
}

TEST_F(TrackerFormTest, HorizontalWindowSlidesFromThe201stPoint)
{
    for (int i = 0; i < 200; ++i)
        FeedReading(1000);
    EXPECT_EQ(form->Series1().XValues().LastValue(), 199.0);
    EXPECT_EQ(H().Minimum(), 0.0);
    EXPECT_EQ(H().Maximum(), 199.0);

    FeedReading(1000); // X = 200
    EXPECT_EQ(H().Minimum(), 1.0);
    EXPECT_EQ(H().Maximum(), 200.0);
    EXPECT_FALSE(H().Automatic());

    for (int i = 0; i < 50; ++i)
        FeedReading(1000); // up to X = 250
    EXPECT_EQ(H().Minimum(), 51.0);
    EXPECT_EQ(H().Maximum(), 250.0);
}

TEST_F(TrackerFormTest, FirstPointsLeaveAZoomedHorizontalRangeAlone)
{
    H().SetRange(20, 60);
    for (int i = 0; i < 200; ++i)
        FeedReading(1000);
    EXPECT_EQ(H().Minimum(), 20.0);
    EXPECT_EQ(H().Maximum(), 60.0);
    FeedReading(1000);
    EXPECT_EQ(H().Minimum(), 1.0);
    EXPECT_EQ(H().Maximum(), 200.0);
}

TEST_F(TrackerFormTest, ScrollingTheBottomAxisBelowZeroDoesNotStopTheTracking)
{
    for (int i = 0; i < 210; ++i)
        FeedReading(1000);
    // The user drags the waveform far to the right: the bottom axis ends below 0.
    H().ScrollBy(-400, false);
    ASSERT_LT(H().Maximum(), 0.0);
    const std::int32_t posBefore = Parts(form).Tracker.WaveRingPos;

    // Two frames in one read: both must be plotted and tracked, nothing reported.
    std::vector<std::uint8_t> bytes = FrameBytes(1200, 3);
    const std::vector<std::uint8_t> second = FrameBytes(1220, 3);
    bytes.insert(bytes.end(), second.begin(), second.end());
    Feed(bytes);

    EXPECT_TRUE(sink.Messages.empty());
    EXPECT_EQ(Parts(form).SampleIndex, 212);
    EXPECT_EQ(H().Minimum(), 12.0);
    EXPECT_EQ(H().Maximum(), 211.0);
    EXPECT_EQ(Parts(form).Tracker.WaveRingPos, posBefore + 2);
    EXPECT_EQ(V().Maximum(), 123.0);
    EXPECT_EQ(Parts(form).Label4->text(), QStringLiteral("1220"));
}

TEST_F(TrackerFormTest, ClearWhileFramesArriveRestartsThePlot)
{
    EchoOn();
    for (int i = 0; i < 230; ++i)
        FeedReading(static_cast<std::uint16_t>(1000 + i % 7));
    ASSERT_EQ(H().Maximum(), 229.0);
    const double vMin = V().Minimum(), vMax = V().Maximum();
    const QString edit1 = Parts(form).Edit1->text(), edit2 = Parts(form).Edit2->text();
    QTest::keyClicks(Parts(form).Memo1, QStringLiteral("typed by the user"));
    ASSERT_TRUE(Parts(form).Memo1->toPlainText().endsWith(QStringLiteral("typed by the user")));

    // Half a frame is in flight when the user clears.
    const std::vector<std::uint8_t> frame = FrameBytes(1500, 1);
    Feed({frame.begin(), frame.begin() + 3});
    Parts(form).Button3->click();

    EXPECT_TRUE(Parts(form).Memo1->toPlainText().isEmpty());
    EXPECT_EQ(Parts(form).Label9->text(), QStringLiteral("0"));
    EXPECT_EQ(Parts(form).Label10->text(), QStringLiteral("0"));
    EXPECT_EQ(Parts(form).RxCount, 0);
    EXPECT_EQ(form->Series1().PointCount(), 0);
    EXPECT_EQ(Parts(form).SampleIndex, 0);
    EXPECT_EQ(H().Minimum(), 0.0);
    EXPECT_EQ(H().Maximum(), 199.0);
    // Untouched by the clear.
    EXPECT_EQ(V().Minimum(), vMin);
    EXPECT_EQ(V().Maximum(), vMax);
    EXPECT_EQ(Parts(form).Label4->text(), QStringLiteral("1005"));
    EXPECT_EQ(Parts(form).Edit1->text(), edit1);
    EXPECT_EQ(Parts(form).Edit2->text(), edit2);
    EXPECT_EQ(Parts(form).Button5->text(), QStringLiteral("不显示"));
    EXPECT_EQ(Parts(form).BitBtn2->text(), QStringLiteral("关闭显示"));
    EXPECT_EQ(Parts(form).Tracker.WaveRingPos, 0);
    for (double v : Parts(form).Tracker.WaveRing)
        ASSERT_EQ(v, 0.0);

    // The rest of the frame arrives: the decoder kept its state, the plot starts at X = 0.
    Feed({frame.begin() + 3, frame.end()});
    EXPECT_EQ(Parts(form).Label4->text(), QStringLiteral("1500"));
    EXPECT_EQ(form->Series1().PointCount(), 1);
    EXPECT_EQ(form->Series1().XValues().LastValue(), 0.0);
    EXPECT_EQ(Parts(form).RxCount, static_cast<std::int32_t>(frame.size() - 3));
    FeedReading(1500);
    FeedReading(1400); // the third point after the clear lifts the minimum to its value
    EXPECT_EQ(V().Minimum(), 140.0);
    EXPECT_EQ(H().Minimum(), 0.0);
    EXPECT_EQ(H().Maximum(), 199.0);
}

// ---------------------------------------------------------------------------------------------
// The tracker alone on a chart core.

class Rig : public WaveformDiagnostics {
public:
    TCustomAxisPanel chart;
    TFastLineSeries* series = nullptr;
    WaveformTracker tracker;
    std::int64_t sample = 0;
    std::uint8_t lastMaxIndex = 0, lastMinIndex = 0;

    Rig()
    {
        chart.SetLoading(true);
        for (TChartAxis* axis : {chart.BottomAxis(), chart.LeftAxis()}) {
            axis->SetAutomatic(false);
            axis->SetAutomaticMinimum(false);
            axis->SetAutomaticMaximum(false);
        }
        chart.BottomAxis()->SetMaximum(199);
        series = chart.AdoptSeries(std::make_unique<TFastLineSeries>());
        chart.SetLoading(false);
        series->OnAfterAdd = [this](TChartSeries* sender, std::int32_t) {
            tracker.AfterAdd(*sender, sample, this);
        };
    }
    void Add(double y)
    {
        series->AddPoint(static_cast<double>(sample), y, {}, UseSeriesColor);
        ++sample;
    }
    TCustomChartAxis& V() { return *chart.LeftAxis(); }
    void Diagnostics(std::uint8_t maxIndex, std::uint8_t minIndex, double, double) override
    {
        lastMaxIndex = maxIndex;
        lastMinIndex = minIndex;
    }
};

TEST(WaveformTracker, OnlyAValueAboveTheMaximumWidensIt)
{
    Rig rig;
    rig.Add(100);
    EXPECT_EQ(rig.V().Maximum(), 101.0);
    rig.Add(101); // equal: unchanged
    EXPECT_EQ(rig.V().Maximum(), 101.0);
    rig.Add(101.1);
    EXPECT_DOUBLE_EQ(rig.V().Maximum(), 102.1);
}

TEST(WaveformTracker, NewMaximumAtRingPositionZeroCountsDownFrom255)
{
    Rig rig;
    for (int i = 0; i < 200; ++i)
        rig.Add(10);
    ASSERT_EQ(rig.tracker.WaveRingPos, 0);
    rig.Add(50);
    EXPECT_EQ(rig.lastMaxIndex, 255);
    EXPECT_EQ(rig.tracker.WaveMaxIndex, 254);
    EXPECT_EQ(rig.V().Maximum(), 51.0);
}

TEST(WaveformTracker, SteadySignalNarrowsOnlyMarginsAboveThree)
{
    Rig rig;
    for (int i = 0; i < 250; ++i)
        rig.Add(100);
    EXPECT_EQ(rig.V().Minimum(), 100.0);
    EXPECT_EQ(rig.V().Maximum(), 101.0);

    // Margins of exactly 3 stay.
    rig.V().SetRange(97, 103);
    for (int i = 0; i < 300; ++i)
        rig.Add(100);
    EXPECT_EQ(rig.V().Minimum(), 97.0);
    EXPECT_EQ(rig.V().Maximum(), 103.0);

    // Wider margins are narrowed to exactly 1 at the next rescan.
    rig.V().SetRange(90, 110);
    for (int i = 0; i < 256; ++i)
        rig.Add(100);
    EXPECT_EQ(rig.V().Minimum(), 99.0);
    EXPECT_EQ(rig.V().Maximum(), 101.0);
}

TEST(WaveformTracker, APeakHoldsTheRangeUntilItLeavesTheRing)
{
    Rig rig;
    for (int i = 0; i < 250; ++i)
        rig.Add(100);
    rig.Add(110); // X = 250
    EXPECT_EQ(rig.V().Maximum(), 111.0);
    for (int i = 0; i < 200; ++i)
        rig.Add(100); // up to X = 450, which overwrites the peak's slot after scanning it
    EXPECT_EQ(rig.V().Maximum(), 111.0);
    rig.Add(100); // X = 451: the peak is gone
    EXPECT_EQ(rig.V().Maximum(), 101.0);
    EXPECT_EQ(rig.V().Minimum(), 100.0);
}

} // namespace
} // namespace rv::test
