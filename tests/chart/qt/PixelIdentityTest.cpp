// The drawing that replays cached pixels (segments, texts, fills) must give the very picture
// the plain QPainter drawing gives, frame after frame of a live waveform.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <tuple>

#include "ChartControlFixture.h"
#include "rangeview/chart/CacheBudget.h"
#include "rangeview/chart/qt/ChartControl.h"
#include "rangeview/chart/qt/QtSurface.h"

namespace rv {
namespace {

class PixelIdentityTest : public ChartControlFixture {
protected:
    void TearDown() override
    {
        QtSurface::SetReferenceDrawing(false);
        TCacheBudget::Shared().SetLimit(TCacheBudget::DefaultLimit);
    }

    // One received distance (mm): the window adds distance / 10 at the next sample number and
    // keeps the last 200 samples in view with the vertical range fitted to them.
    void Add(std::int32_t distance)
    {
        series->AddPoint(static_cast<double>(Sample_), distance / 10.0, "", UseSeriesColor);
        ++Sample_;
        TChart& chart = Chart();
        if (Sample_ > Window_) {
            const double last = series->XValues().HighestValue();
            chart.BottomAxis()->SetRange(last - Window_, last);
        }
        const std::int32_t n = series->PointCount();
        double lo = series->YValues().LastValue();
        double hi = lo;
        for (std::int32_t i = std::max(0, n - 200); i < n; ++i) {
            lo = std::min(lo, series->YValues().ValueAt(i));
            hi = std::max(hi, series->YValues().ValueAt(i));
        }
        chart.LeftAxis()->SetRange(lo - 1, hi + 1);
    }

    // Draws the current state both ways and reports where they differ. The layout reads the
    // label step of the draw before, so a plain draw first gives both the same history.
    ::testing::AssertionResult SamePicture(const std::string& what)
    {
        QtSurface::SetReferenceDrawing(true);
        (void)RenderChart(*control, Ratio_);
        QtSurface::SetReferenceDrawing(false);
        const QImage fast = RenderChart(*control, Ratio_);
        QtSurface::SetReferenceDrawing(true);
        const QImage plain = RenderChart(*control, Ratio_);
        QtSurface::SetReferenceDrawing(false);
        if (fast.size() != plain.size())
            return ::testing::AssertionFailure() << what << ": sizes differ";
        int differing = 0;
        QPoint first(-1, -1);
        for (int y = 0; y < fast.height(); ++y) {
            for (int x = 0; x < fast.width(); ++x) {
                if (fast.pixel(x, y) == plain.pixel(x, y))
                    continue;
                if (differing++ == 0)
                    first = QPoint(x, y);
            }
        }
        if (differing == 0)
            return ::testing::AssertionSuccess();
        std::ostringstream out;
        out << what << ": " << differing << " pixels differ, first at (" << first.x() << ", "
            << first.y() << "): " << std::hex << fast.pixel(first) << " instead of "
            << plain.pixel(first);
        return ::testing::AssertionFailure() << out.str();
    }

    std::int64_t Sample_ = 0;
    double Window_ = 200;
    qreal Ratio_ = 1.0;
};

// Noise, a slow swing, steps and the odd far-off reading (a lost echo reads 0 or a
// very long distance), one picture per new point; on screens of several scales; and with a
// cache budget so small that segments, text blocks, measured texts and label texts keep pushing
// each other out, and the title's block does not fit at all.
TEST_F(PixelIdentityTest, LiveSignalFrameByFrame)
{
    ShowAndPaint();
    TCacheBudget& budget = TCacheBudget::Shared();
    constexpr std::size_t Small = 256'000;
    for (const auto& [ratio, limit, frames] : {std::tuple{1.0, TCacheBudget::DefaultLimit, 400},
                                               {1.0, Small, 150},
                                               {1.5, TCacheBudget::DefaultLimit, 100},
                                               {1.25, Small, 80},
                                               {2.0, TCacheBudget::DefaultLimit, 80}}) {
        Ratio_ = ratio;
        budget.SetLimit(limit);
        const std::uint64_t evictions = budget.Evictions();
        std::mt19937 rng(4);
        std::normal_distribution<double> noise(0, 6);
        for (int frame = 0; frame < frames; ++frame) {
            double d = 1500 + 400 * std::sin(frame * 0.03) + noise(rng);
            if (frame >= 150 && frame < 220)
                d += 900;
            if (frame % 97 == 50)
                d = 0;
            if (frame % 131 == 70)
                d = 60000;
            Add(static_cast<std::int32_t>(std::lround(d)));
            ASSERT_TRUE(
                SamePicture("ratio " + std::to_string(ratio) + " frame " + std::to_string(frame)));
        }
        EXPECT_LE(budget.Peak(), limit);
        if (limit == Small) {
            EXPECT_GT(budget.Evictions(), evictions + 200);
        }
    }
}

// Thousands of points on a few hundred columns: many short segments, most of them vertical.
TEST_F(PixelIdentityTest, DenseLines)
{
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> step(-40, 40);
    std::int32_t d = 2000;
    for (double window : {2000.0, 20000.0}) {
        Window_ = window;
        for (int i = 0; i < static_cast<int>(window) + 10; ++i) {
            d = std::clamp(d + step(rng), 500, 4000);
            Add(d);
        }
        for (int frame = 0; frame < 5; ++frame) {
            Add(d + step(rng));
            ASSERT_TRUE(SamePicture("window " + std::to_string(static_cast<int>(window)) +
                                    " frame " + std::to_string(frame)));
        }
    }
}

// A label drawn again over other pixels (the range moved, a zoom rectangle crossed it) is drawn
// afresh, not copied.
TEST_F(PixelIdentityTest, SameLabelsOverChangingBackground)
{
    for (int i = 0; i < 300; ++i)
        Add(3000 + (i % 7));
    ASSERT_TRUE(SamePicture("start"));
    Chart().Gradient().SetEndColor(0x303030);
    ASSERT_TRUE(SamePicture("darker gradient"));
    for (int shift = 0; shift < 12; ++shift) {
        Chart().LeftAxis()->SetRange(299.0 + shift * 0.05, 301.5 + shift * 0.05);
        ASSERT_TRUE(SamePicture("shift " + std::to_string(shift)));
    }
    Chart().ActiveZoomRectangle = [](TRect& r) {
        r = TRect{10, 30, 500, 300};
        return true;
    };
    ASSERT_TRUE(SamePicture("zoom rectangle"));
    // A desktop font change starts the texts over; the picture stays the plain one.
    QtSurface::ForgetRenderedText();
    ASSERT_TRUE(SamePicture("texts forgotten"));
}

} // namespace
} // namespace rv
