#pragma once

#include <QImage>
#include <QPalette>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rangeview/chart/Chart.h"
#include "rangeview/chart/qt/QtSurface.h"
#include "rangeview/tools/PlotEnvelope.h"
#include "rangeview/tools/PlotOptions.h"

class QPainter;

namespace rv {

// The picture `plot` draws: the chart component set up for a recording (distance in mm against
// elapsed or UTC time, a title and a statistics line) with the reduced readings as its line,
// drawn onto any QPainter: an image for PNG, a vector device for SVG.
//
// Order of use: SetTimeAxis, then Columns() lays the chart out and tells how many pixel columns
// the plot has (the envelope is reduced to those), then SetReadings, then Paint or Image.
class PlotChart {
public:
    // The print style needs no palette; the window style takes the application's.
    PlotChart(PlotStyle style, int width, int height, const QPalette* palette = nullptr);
    ~PlotChart();
    PlotChart(const PlotChart&) = delete;
    PlotChart& operator=(const PlotChart&) = delete;

    // The statistics ("a  ·  b  ·  c") go on as many lines as the width needs. Before Columns()
    // give the widest they can be: the lines laid out then are the lines they keep.
    void SetTitle(const std::string& title, const std::string& statistics);
    // The window [fromUs, toUs] of elapsed time; labelled as UTC when utcOfZeroUs is given.
    void SetTimeAxis(std::int64_t fromUs, std::int64_t toUs,
                     std::optional<std::int64_t> utcOfZeroUs);
    int Columns();
    // The line, gaps and drop marks. The envelope must have Columns() columns.
    void SetReadings(const PlotEnvelope& envelope);

    void Paint(QPainter& painter, bool vector);
    QImage Image();

    // Where column c lies across the picture and where a distance lies down it.
    std::int32_t ColumnPixel(int column) const;
    std::int32_t DistancePixel(double distance) const;
    TChart& Chart() { return *Chart_; }
    int Width() const { return Width_; }
    int Height() const { return Height_; }

private:
    double ColumnValue(int column) const;
    void ShadeGaps();
    void MarkDropsAndCaptions();

    int Width_;
    int Height_;
    std::unique_ptr<TChart> Chart_;
    QtSurface Measure_;
    // While Paint draws.
    QPainter* Painter_ = nullptr;
    QtSurface* Surface_ = nullptr;
    TPenData Line_;
    TColor GapColor_;
    TColor DropColor_;
    TColor CaptionColor_;

    std::int64_t FromUs_ = 0;
    std::int64_t ToUs_ = 1;
    double AxisFrom_ = 0; // seconds at FromUs_ on the axis
    double ColumnSeconds_ = 1;
    int Columns_ = 0;
    TRect LaidOut_;
    std::size_t StatisticsLines_ = 1; // as laid out
    std::vector<bool> InGap_;
    std::vector<std::uint32_t> Drops_;
    std::string BottomCaption_;
    std::string LeftCaption_;
};

} // namespace rv
