// A fresh Chart1 control for each test, and a way to have it shown and drawn once.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

#include "rangeview/chart/qt/ChartControl.h"

namespace rv {

class ChartControlFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        control.reset(CreateChart1(nullptr));
        series = control->Series1();
    }
    TChart& Chart() { return control->Chart(); }
    // Shows the control and waits for its first paint.
    void ShowAndPaint()
    {
        control->show();
        for (int i = 0; i < 100 && Chart().FullDrawCount() == 0; ++i) {
            QApplication::processEvents();
            control->repaint();
        }
        ASSERT_GE(Chart().FullDrawCount(), 1);
    }

    std::unique_ptr<ChartControl> control;
    TFastLineSeries* series = nullptr;
};

} // namespace rv
