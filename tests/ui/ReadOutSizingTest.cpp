// The read-out labels keep the size of their text while the work of measuring it is saved,
// and the hidden diagnostics stay right while they are written only on change.
#include "UiTestSupport.h"

#include <climits>

namespace rv::test {
namespace {

class ReadOutSizingTest : public FormTest {
protected:
    void ExpectFitted(QLabel* label, const char* when)
    {
        EXPECT_EQ(label->size(), label->sizeHint())
            << label->objectName().toStdString() << " showing \"" << label->text().toStdString()
            << "\" " << when;
    }
};

TEST_F(ReadOutSizingTest, EveryNumberLeavesTheLabelsAtTheSizeOfTheirText)
{
    // Runs of equal length, growing, shrinking and back.
    const std::uint16_t distances[] = {7,  3,  1111, 8888, 1000, 9999,  65535, 10000,
                                       12, 99, 100,  1234, 7,    65535, 0,     40000};
    for (const std::uint16_t d : distances) {
        FeedReading(d, static_cast<std::uint8_t>(d % 200));
        ExpectFitted(Parts(form).Label4, "after a reading");
        ExpectFitted(Parts(form).Label10, "after a reading");
        ExpectFitted(Parts(form).Label12, "after a reading");
    }
}

TEST_F(ReadOutSizingTest, ASizeSetFromOutsideIsCorrectedByTheNextNumber)
{
    FeedReading(1234);
    const QSize fitted = Parts(form).Label4->size();
    Parts(form).Label4->resize(5, 5);
    FeedReading(4321);
    EXPECT_EQ(Parts(form).Label4->size(), fitted);
    ExpectFitted(Parts(form).Label4, "after an outside resize");
}

TEST_F(ReadOutSizingTest, ANewFontIsMeasuredAgain)
{
    FeedReading(1234);
    const int before = Parts(form).Label4->width();
    QFont f = Parts(form).Label4->font();
    f.setPixelSize(f.pixelSize() * 2);
    Parts(form).Label4->setFont(f);
    FeedReading(4321);
    EXPECT_GT(Parts(form).Label4->width(), before);
    ExpectFitted(Parts(form).Label4, "after a font change");
    // And back to the small font with a number of the same length again.
    f.setPixelSize(f.pixelSize() / 2);
    Parts(form).Label4->setFont(f);
    FeedReading(5678);
    EXPECT_EQ(Parts(form).Label4->width(), before);
}

TEST_F(ReadOutSizingTest, TextsOtherThanPlainDigitsAreMeasuredEachTime)
{
    for (const std::uint8_t mode : {0, 1, 2, 3, 1, 0}) {
        FeedReading(500, mode);
        ExpectFitted(Parts(form).Label13, "after a mode change");
    }
    // The received-byte count past its 32-bit range shows a minus sign.
    Parts(form).RxCount = INT32_MAX - 3;
    FeedReading(500);
    EXPECT_EQ(Parts(form).Label10->text(),
              QString::number(static_cast<std::int32_t>(INT32_MIN + 4)));
    ExpectFitted(Parts(form).Label10, "once negative");
    FeedReading(501);
    ExpectFitted(Parts(form).Label10, "once negative");
    // The clear writes "0" as plain text.
    Parts(form).Button3->click();
    ExpectFitted(Parts(form).Label10, "after the clear");
}

class DiagnosticsWritingTest : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        WaveformOn();
    }
};

TEST_F(DiagnosticsWritingTest, AnUnchangedRangeKeepsItsTextAndIndicesFollowEveryPoint)
{
    FeedReading(1000);
    FeedReading(1010);
    FeedReading(1020);
    const QString range = Parts(form).Edit1->text();
    QString indices = Parts(form).Edit2->text();
    for (int i = 0; i < 5; ++i) {
        FeedReading(1025);
        EXPECT_EQ(Parts(form).Edit1->text(), range);
        EXPECT_NE(Parts(form).Edit2->text(), indices) << i;
        indices = Parts(form).Edit2->text();
    }
    // Indices up to three digits each, in both places.
    EXPECT_FALSE(indices.isEmpty());
    bool ok = false;
    EXPECT_LE(indices.section(QLatin1Char(','), 0, 0).toInt(&ok), 255);
    EXPECT_TRUE(ok);
    EXPECT_LE(indices.section(QLatin1Char(','), 1, 1).toInt(&ok), 255);
    EXPECT_TRUE(ok);
}

TEST_F(DiagnosticsWritingTest, TextChangedFromOutsideIsWrittenAgain)
{
    FeedReading(1000);
    FeedReading(1010);
    FeedReading(1020);
    const QString range = Parts(form).Edit1->text();
    Parts(form).Edit1->setText(QStringLiteral("typed"));
    Parts(form).Edit2->setText(QStringLiteral("typed"));
    FeedReading(1025);
    EXPECT_EQ(Parts(form).Edit1->text(), range);
    EXPECT_NE(Parts(form).Edit2->text(), QStringLiteral("typed"));
}

} // namespace
} // namespace rv::test
