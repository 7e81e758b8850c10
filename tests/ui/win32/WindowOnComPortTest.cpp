// The window on a COM port that streams frames (RV_TEST_STREAM_PORT), through the Win32 backend's
// own arrival path: opened as a user opens it, with the waveform on, it shows the readings and
// draws them. Skipped when no such port is given.
#include "../EventWait.h"
#include "../UiTestSupport.h"

#include "rangeview/chart/qt/ChartControl.h"
#include "rangeview/serial/SystemPlatform.h"

#include <QImage>
#include <QPixmap>

#include <cstdlib>

namespace rv::test {
namespace {

using namespace std::chrono_literals;

TEST(WindowOnComPort, ShowsTheStreamedReadingsAndTheirWaveform)
{
    const char* port = std::getenv("RV_TEST_STREAM_PORT");
    if (port == nullptr || *port == '\0')
        GTEST_SKIP() << "RV_TEST_STREAM_PORT names no port";
    CaptureSink sink;
    TForm1 form(&sink, [port] { return QStringList{QString::fromLocal8Bit(port)}; });
    form.AttachSerialLink(MakeSystemPlatform());
    form.show();
    Parts(form).BitBtn2->click();
    Parts(form).BitBtn1->click();
    ASSERT_TRUE(WaitUntil([&] { return form.Series1().PointCount() >= 250; }, 20s))
        << form.Series1().PointCount() << " points";
    Parts(form).Button1->click();
    EXPECT_TRUE(sink.Messages.empty());
    EXPECT_EQ(Parts(form).RxCount % 8, 0);
    EXPECT_FALSE(Parts(form).Label4->text().isEmpty());

    // The series is drawn in red, which nothing else in the chart is.
    const QImage picture = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect chart = Parts(form).Chart1->geometry();
    int red = 0;
    for (int y = chart.top(); y <= chart.bottom(); ++y) {
        for (int x = chart.left(); x <= chart.right(); ++x) {
            const QRgb pixel = picture.pixel(x, y);
            if (qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60)
                ++red;
        }
    }
    EXPECT_GT(red, 500) << "the waveform is not drawn";
}

} // namespace
} // namespace rv::test
