#include "rangeview/chart/ChartSetup.h"

#include <memory>

namespace rv {

const char* const Chart1TitleText =
    "鼠标左键点击波形往左上为缩小，右下为放大；鼠标右击不放可上下左右拖动波形";

TFastLineSeries* ConfigureChart1(TChart& chart)
{
    // Stored values are read like a form load: no range checks, no flag coupling.
    chart.SetLoading(true);
    chart.SetSize(Chart1Width, Chart1Height);
    chart.SetView3D(false);
    chart.AnimatedZoom = true;
    chart.BackWall().Brush().SetColor(clWhite);
    chart.BackWall().Brush().SetStyle(TBrushStyle::bsClear);
    chart.Gradient().SetVisible(true);
    chart.Gradient().SetEndColor(0xB5BCCA);
    chart.Gradient().SetStartColor(clWhite);
    chart.Gradient().SetDirection(TGradientDirection::gdTopBottom);
    chart.LeftWall().Brush().SetColor(clWhite);
    chart.SetMarginLeft(3);
    chart.SetMarginTop(5);
    chart.SetMarginRight(3);
    chart.SetMarginBottom(5);
    TChartFont& font = chart.Title().Font();
    font.SetName("Arial");
    font.SetHeight(-14);
    font.SetColor(clBlack);
    font.SetCharset(DEFAULT_CHARSET);
    font.SetStyle(0);
    chart.Title().SetText({Chart1TitleText});
    chart.Legend().SetVisible(false);
    chart.SetBevelOuter(TPanelBevel::bvRaised);
    chart.SetBevelInner(TPanelBevel::bvRaised);
    chart.SetBevelWidth(1);
    chart.SetBorderWidth(4);
    chart.SetColor(clBtnFace);
    chart.SetAxisVisible(true);
    chart.SetClipPoints(true);

    TChartAxis& bottom = *chart.BottomAxis();
    bottom.SetAutomatic(false);
    bottom.SetAutomaticMaximum(false);
    bottom.SetAutomaticMinimum(false);
    bottom.SetExactDateTime(false);
    bottom.SetMaximum(199);
    bottom.SetMinorTickCount(0);
    bottom.SetMinorTickLength(0);

    TChartAxis& left = *chart.LeftAxis();
    left.SetAutomatic(false);
    left.SetAutomaticMaximum(false);
    left.SetAutomaticMinimum(false);
    left.SetExactDateTime(false);
    left.SetIncrement(0.1);
    left.SetTickInnerLength(5);
    left.SetTickLength(0);

    chart.RightAxis()->SetTickLength(3);

    auto series = std::make_unique<TFastLineSeries>();
    series->Name = "Series1";
    series->LinePen().SetColor(clRed);
    series->LinePen().SetWidth(3);
    series->SetSeriesColor(clRed);
    series->Marks.Visible = false;
    series->XValues().SetOrder(TChartListOrder::loAscending);
    series->YValues().SetOrder(TChartListOrder::loNone);
    TFastLineSeries* series1 = chart.AdoptSeries(std::move(series));
    chart.SetLoading(false);
    chart.Invalidate();
    return series1;
}

} // namespace rv
