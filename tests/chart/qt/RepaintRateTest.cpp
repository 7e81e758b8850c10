// Holding back asynchronous repaint requests that come soon after a full draw.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <memory>

#include "Canvas3D.h"
#include "rangeview/chart/qt/ChartControl.h"
#include "ChartControlFixture.h"

namespace rv {
namespace {

class RepaintRateTest : public ChartControlFixture {
protected:
    void SetUp() override
    {
        ChartControlFixture::SetUp();
        for (int i = 0; i < 100; ++i)
            series->AddPoint(i, 30 + i % 7, "", UseSeriesColor);
    }
    void TearDown() override
    {
        if (control)
            control->hide();
    }

    void ShowAndPaint()
    {
        ChartControlFixture::ShowAndPaint();
        if (HasFatalFailure())
            return;
        ASSERT_FALSE(Chart().Canvas().ImageDirty);
    }
    // Runs the event loop for a while (at least ms milliseconds).
    static void Spin(int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    // Runs the event loop until the chart has drawn more than `draws` times (5 s at most).
    bool WaitForDrawBeyond(std::int64_t draws)
    {
        QElapsedTimer t;
        t.start();
        while (Chart().FullDrawCount() <= draws && t.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        return Chart().FullDrawCount() > draws;
    }
};

TEST_F(RepaintRateTest, DefaultIsAboutSixtyPicturesASecond)
{
    EXPECT_EQ(control->MinRepaintInterval(), 16);
    control->SetMinRepaintInterval(-5);
    EXPECT_EQ(control->MinRepaintInterval(), 0);
}

TEST_F(RepaintRateTest, RequestSoonAfterAFullDrawIsHeldBackButTheImageIsDirtyAtOnce)
{
    control->SetMinRepaintInterval(60000);
    ShowAndPaint();
    const auto draws = Chart().FullDrawCount();
    for (int i = 100; i < 120; ++i)
        series->AddPoint(i, 40, "", UseSeriesColor);
    EXPECT_TRUE(Chart().Canvas().ImageDirty);
    EXPECT_TRUE(control->RepaintDeferred());
    Spin(50);
    EXPECT_EQ(Chart().FullDrawCount(), draws);

    // A paint for another reason (uncovering) shows the current state...
    control->repaint();
    EXPECT_EQ(Chart().FullDrawCount(), draws + 1);
    EXPECT_FALSE(Chart().Canvas().ImageDirty);
    EXPECT_EQ(control->grab().toImage().convertToFormat(QImage::Format_RGB32),
              control->ImageSnapshot());
    // ...and the held-back update is still to come (it will only copy the clean image).
    EXPECT_TRUE(control->RepaintDeferred());
}

TEST_F(RepaintRateTest, SynchronousRepaintIsNeverHeldBack)
{
    control->SetMinRepaintInterval(60000);
    ShowAndPaint();
    const auto draws = Chart().FullDrawCount();
    for (int step = 1; step <= 3; ++step) {
        Chart().BottomAxis()->SetMaximum(150 + step);
        control->RepaintNow();
        EXPECT_EQ(Chart().FullDrawCount(), draws + step);
        EXPECT_FALSE(Chart().Canvas().ImageDirty);
    }
}

TEST_F(RepaintRateTest, ABurstOfRequestsGivesOneFullDraw)
{
    control->SetMinRepaintInterval(200);
    ShowAndPaint();
    const auto draws = Chart().FullDrawCount();
    for (int i = 100; i < 400; ++i) {
        series->AddPoint(i, 30 + i % 11, "", UseSeriesColor);
        Chart().BottomAxis()->SetMinimum(i - 199);
        Chart().BottomAxis()->SetMaximum(i);
    }
    ASSERT_TRUE(WaitForDrawBeyond(draws));
    Spin(30);
    EXPECT_EQ(Chart().FullDrawCount(), draws + 1);
    EXPECT_FALSE(Chart().Canvas().ImageDirty);
    EXPECT_FALSE(control->RepaintDeferred());
}

TEST_F(RepaintRateTest, AStreamOfRequestsIsDrawnAtTheCappedRate)
{
    control->SetMinRepaintInterval(40);
    ShowAndPaint();
    const auto draws = Chart().FullDrawCount();
    QElapsedTimer t;
    t.start();
    int i = 100;
    while (t.elapsed() < 400) {
        series->AddPoint(i, 30 + i % 11, "", UseSeriesColor);
        ++i;
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
    }
    const double elapsed = static_cast<double>(t.elapsed());
    const auto drawn = Chart().FullDrawCount() - draws;
    EXPECT_GE(drawn, 1);
    // One draw per interval at most (a coarse timer may fire a little early), plus the one
    // a request could start at the very beginning.
    EXPECT_LE(static_cast<double>(drawn), elapsed / (40 * 0.9) + 1) << i << " requests";
    // And the last state is drawn in the end.
    if (Chart().Canvas().ImageDirty) {
        EXPECT_TRUE(WaitForDrawBeyond(Chart().FullDrawCount()));
    }
    EXPECT_FALSE(Chart().Canvas().ImageDirty);
}

TEST_F(RepaintRateTest, RequestLongAfterTheLastDrawGoesStraightOut)
{
    control->SetMinRepaintInterval(30);
    ShowAndPaint();
    QThread::msleep(60);
    const auto draws = Chart().FullDrawCount();
    series->AddPoint(100, 40, "", UseSeriesColor);
    EXPECT_FALSE(control->RepaintDeferred());
    ASSERT_TRUE(WaitForDrawBeyond(draws));
    EXPECT_EQ(Chart().FullDrawCount(), draws + 1);
}

TEST_F(RepaintRateTest, NothingHeldBackBeforeTheFirstDrawOrWithoutAnInterval)
{
    control->SetMinRepaintInterval(60000);
    series->AddPoint(100, 40, "", UseSeriesColor);
    EXPECT_FALSE(control->RepaintDeferred());
    control->SetMinRepaintInterval(0);
    ShowAndPaint();
    series->AddPoint(101, 40, "", UseSeriesColor);
    EXPECT_FALSE(control->RepaintDeferred());
}

// Notes every event delivered to one object.
class DeliveryWatch : public QObject {
public:
    const QObject* Watched = nullptr;
    int Deliveries = 0;

protected:
    bool eventFilter(QObject* receiver, QEvent*) override
    {
        if (receiver == Watched)
            ++Deliveries;
        return false;
    }
};

TEST_F(RepaintRateTest, ControlGoesWhileAnUpdateIsHeldBack)
{
    control->SetMinRepaintInterval(30);
    ShowAndPaint();
    series->AddPoint(100, 40, "", UseSeriesColor);
    ASSERT_TRUE(control->RepaintDeferred());
    DeliveryWatch watch;
    qApp->installEventFilter(&watch);
    const QObject* gone = control.get();
    control.reset();
    watch.Watched = gone;
    // The held-back update would fall due in here: nothing may reach the control that is gone.
    Spin(60);
    qApp->removeEventFilter(&watch);
    EXPECT_EQ(watch.Deliveries, 0);
}

} // namespace
} // namespace rv
