// The whole window drawn after some readings: the waveform shows in the chart, the read-out in
// the panel. Set RV_UI_SCREENSHOT=/tmp/some.png to keep the picture for a look by eye.
#include "UiTestSupport.h"

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>

#include <cmath>

namespace rv::test {
namespace {

using WindowImageTest = FormTest;

int CountPixels(const QImage& image, const QRect& area, const QColor& color)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y) == color)
                ++n;
    return n;
}

TEST_F(WindowImageTest, ReadingsShowInTheReadOutTheLogAndTheWaveform)
{
    form->show();
    EchoOn();
    WaveformOn();
    for (int i = 0; i < 260; ++i)
        FeedReading(static_cast<std::uint16_t>(1500 + std::lround(200 * std::sin(i / 15.0))),
                    static_cast<std::uint8_t>(i < 130 ? 1 : 2));
    QCoreApplication::processEvents();

    const QImage shot = form->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(960, 669));
    if (const QByteArray path = qgetenv("RV_UI_SCREENSHOT"); !path.isEmpty())
        shot.save(QString::fromLocal8Bit(path));

    // The red line of Series1 inside the chart, none of it above the chart.
    EXPECT_GT(CountPixels(shot, QRect(0, 336, 953, 313), QColor(255, 0, 0)), 500);
    EXPECT_EQ(CountPixels(shot, QRect(0, 0, 633, 330), QColor(255, 0, 0)), 0);
    // Yellow digits on the green panel where Label4 stands.
    const QRect label4(Parts(form).Label4->mapTo(form.get(), QPoint(0, 0)),
                       Parts(form).Label4->size());
    EXPECT_GT(CountPixels(shot, label4, QColor(255, 255, 0)), 50);
    EXPECT_EQ(Parts(form).Label13->text(), QStringLiteral("高精度模式"));
    EXPECT_EQ(H().Maximum(), 259.0);
}

} // namespace
} // namespace rv::test
