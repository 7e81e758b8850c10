#pragma once

#include "rangeview/chart/Axis.h"
#include "rangeview/chart/Series.h"
#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/ui/LogMemo.h"
#include "rangeview/ui/MessageSink.h"
#include "rangeview/ui/TForm1TestAccess.h"
#include "rangeview/ui/Unit1.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace rv::test {

// Records every message instead of showing it.
class CaptureSink : public MessageSink {
public:
    enum class Kind { Notice, Short, Error, Owned };
    struct Message {
        Kind kind;
        QString text;
        QString details;
    };
    std::vector<Message> Messages;

    void ShowNotice(const QString& text, const QString& details) override
    {
        Messages.push_back({Kind::Notice, text, details});
    }
    void ShowShortMessage(const QString& text, const QString& details) override
    {
        Messages.push_back({Kind::Short, text, details});
    }
    void ShowErrorReport(const QString& text) override
    {
        Messages.push_back({Kind::Error, text, {}});
    }
    void ShowOwnedBox(QWidget*, const QString& text, const QString& details) override
    {
        Messages.push_back({Kind::Owned, text, details});
    }
};

inline std::vector<std::uint8_t> FrameBytes(std::uint16_t distance, std::uint8_t mode)
{
    const MeasurementFrame frame = MeasurementFrame::ForReading(distance, mode);
    std::vector<std::uint8_t> bytes(frame.Size());
    frame.Encode(bytes);
    return bytes;
}

// Several frames back to back, as one read.
inline std::vector<std::uint8_t>
Frames(std::initializer_list<std::pair<std::uint16_t, std::uint8_t>> list)
{
    std::vector<std::uint8_t> bytes;
    for (const auto& [distance, mode] : list) {
        const std::vector<std::uint8_t> one = FrameBytes(distance, mode);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    return bytes;
}

// Counts the paints each widget gets.
class PaintCounter : public QObject {
public:
    std::map<QObject*, int> Paints;
    PaintCounter() { QApplication::instance()->installEventFilter(this); }
    ~PaintCounter() override { QApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++Paints[watched];
        return false;
    }
};

// A window with a fixed, deliberately unsorted port list and captured messages.
class FormTest : public ::testing::Test {
protected:
    CaptureSink sink;
    std::unique_ptr<TForm1> form;

    static QStringList Ports()
    {
        return {QStringLiteral("ttyUSB1"), QStringLiteral("ttyS0"), QStringLiteral("ttyACM0")};
    }

    void SetUp() override { form = std::make_unique<TForm1>(&sink, &Ports); }

    void Feed(const std::vector<std::uint8_t>& bytes) { form->ProcessReceivedBytes(bytes); }
    void FeedReading(std::uint16_t distance, std::uint8_t mode = 3)
    {
        Feed(FrameBytes(distance, mode));
    }
    void EchoOn() { Parts(form).Button5->click(); }
    void WaveformOn() { Parts(form).BitBtn2->click(); }

    TCustomChartAxis& H() { return *form->Series1().ResolvedHorizAxis(); }
    TCustomChartAxis& V() { return *form->Series1().ResolvedVertAxis(); }
};

} // namespace rv::test
