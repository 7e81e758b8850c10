#include "rangeview/tools/PlotChart.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>

#include "rangeview/chart/ChartSetup.h"
#include "rangeview/chart/Series.h"

namespace rv {

namespace {

// The strip under the time axis where checksum drops are marked, and the marks in it.
constexpr std::int32_t DropStrip = 9;
constexpr std::int32_t DropMark = 6;

void SetFont(TChartFont& font, std::int32_t height, TColor color, std::uint8_t style = 0)
{
    font.SetName("Arial");
    font.SetHeight(height);
    font.SetColor(color);
    font.SetStyle(style);
}

// A light picture for paper and documents: white, thin grey frame and grid, a dark blue line.
void ConfigurePrint(TChart& chart)
{
    chart.SetView3D(false);
    chart.Gradient().SetVisible(false);
    chart.SetColor(clWhite);
    chart.SetBevelOuter(TPanelBevel::bvNone);
    chart.SetBevelInner(TPanelBevel::bvNone);
    chart.SetBorderWidth(0);
    chart.SetMarginLeft(1);
    chart.SetMarginTop(2);
    chart.SetMarginRight(2);
    chart.SetMarginBottom(2);
    chart.Legend().SetVisible(false);
    SetFont(chart.Title().Font(), -15, RGB(0x20, 0x20, 0x20));
    chart.BackWall().Brush().SetStyle(TBrushStyle::bsClear);
    chart.BackWall().Pen().SetColor(RGB(0x90, 0x90, 0x90));
    for (TChartAxis* axis : {chart.LeftAxis(), chart.BottomAxis()}) {
        SetFont(axis->LabelsFont(), -12, RGB(0x30, 0x30, 0x30));
        SetFont(axis->Title().Font(), -13, RGB(0x30, 0x30, 0x30));
        axis->Axis().SetWidth(1);
        axis->Axis().SetColor(RGB(0x60, 0x60, 0x60));
        axis->Ticks().SetColor(RGB(0x60, 0x60, 0x60));
        axis->Grid().SetColor(RGB(0xE4, 0xE4, 0xE4));
        axis->Grid().SetStyle(TPenStyle::psSolid);
        axis->SetMinorTickCount(0);
        axis->SetTickInnerLength(0);
    }
    chart.LeftAxis()->SetAxisValuesFormat("0");
    // Fewer labels than fit: a picture for reading, not for counting.
    chart.LeftAxis()->SetLabelsSeparation(150);
}

} // namespace

PlotChart::PlotChart(PlotStyle style, int width, int height, const QPalette* palette)
    : Width_(width), Height_(height), Chart_(std::make_unique<TChart>()), Measure_(palette)
{
    TChart& chart = *Chart_;
    // Drawn straight onto the painter: an SVG gets lines and texts, not a copied bitmap.
    chart.SetBufferedDisplay(false);
    if (style == PlotStyle::Window) {
        // Series1 stays, empty: its pen draws the readings, in series of their own.
        Line_ = ConfigureChart1(chart)->LinePen().Data();
        GapColor_ = RGB(0xDA, 0xDD, 0xE4);
        DropColor_ = clNavy;
        CaptionColor_ = clBlack;
    } else {
        ConfigurePrint(chart);
        // An axis takes room only with a series on it: one stays empty from the start, so the
        // layout before the readings is the layout with them.
        chart.AdoptSeries(std::make_unique<TFastLineSeries>());
        Line_ = TPenData{RGB(0x1F, 0x4E, 0x9A), 1};
        GapColor_ = RGB(0xEC, 0xEC, 0xEC);
        DropColor_ = RGB(0xD6, 0x27, 0x28);
        CaptionColor_ = RGB(0x30, 0x30, 0x30);
    }
    chart.SetSize(width, height);
    chart.Title().SetText({"", ""});

    // Distances are whole millimetres: no step below one. The label band is as wide as the
    // widest distance needs, whatever the data: the plot's width, and so its columns, is then
    // known before the readings are.
    TChartAxis& left = *chart.LeftAxis();
    left.SetAutomatic(false);
    left.SetIncrement(1);
    left.SetRange(0, 1000);
    Measure_.SetFont(left.LabelsFont().Data());
    left.SetLabelsSize(Measure_.TextWidth(left.FormatAxisValue(65535)) + Measure_.TextWidth(" "));
    LeftCaption_ = "distance (mm)";
    left.Title().SetCaption(LeftCaption_);
    left.Title().SetAngle(90);

    // Under the time axis: a strip for the drop marks (an outward tick of a clear pen keeps its
    // room), the labels, and a caption row.
    TChartAxis& bottom = *chart.BottomAxis();
    bottom.SetAutomatic(false);
    bottom.SetIncrement(0.001);
    bottom.LabelStepAfter = NextTimeStep;
    bottom.Ticks().SetStyle(TPenStyle::psClear);
    bottom.Ticks().SetVisible(true);
    bottom.SetTickLength(DropStrip);
    bottom.SetMinorTickCount(0);
    bottom.Title().SetAngle(0);
    // Times are wide labels: a label's width apart keeps them apart in either style.
    bottom.SetLabelsSeparation(100);

    chart.OnBeforeDrawSeries = [this](TCustomChart*) { ShadeGaps(); };
    chart.OnAfterDraw = [this](TCustomChart*) { MarkDropsAndCaptions(); };
    SetTimeAxis(0, 1'000'000, std::nullopt);
}

PlotChart::~PlotChart()
{
    Chart_->OnBeforeDrawSeries = nullptr;
    Chart_->OnAfterDraw = nullptr;
}

void PlotChart::SetTitle(const std::string& title, const std::string& statistics)
{
    // The statistics break between their fields where the picture is too narrow for one line.
    static constexpr std::string_view Separator = "  \xC2\xB7  ";
    TChart& chart = *Chart_;
    Measure_.SetFont(chart.Title().Font().Data());
    // Inside the chart's margins (percentages of the width) and a letter's room either side.
    const std::int32_t room = Width_ - (chart.MarginLeft() + chart.MarginRight()) * Width_ / 100 -
                              2 * Measure_.TextWidth("W");
    std::vector<std::string> lines{title};
    std::string current;
    for (std::size_t at = 0;;) {
        const std::size_t found = statistics.find(Separator, at);
        const std::size_t end = found == std::string::npos ? statistics.size() : found;
        const std::string field = statistics.substr(at, end - at);
        if (current.empty()) {
            current = field;
        } else if (Measure_.TextWidth(current + std::string(Separator) + field) <= room) {
            current += std::string(Separator) + field;
        } else {
            lines.push_back(std::move(current));
            current = field;
        }
        if (found == std::string::npos)
            break;
        at = end + Separator.size();
    }
    lines.push_back(std::move(current));
    // Once laid out, the title keeps the lines it was laid out with: fewer leave one empty, more
    // run on in the last.
    if (Columns_ > 0) {
        const std::size_t laidOut = StatisticsLines_ + 1;
        while (lines.size() > laidOut) {
            lines[lines.size() - 2] += std::string(Separator) + lines.back();
            lines.pop_back();
        }
        lines.resize(laidOut);
    }
    Chart_->Title().SetText(lines);
}

void PlotChart::SetTimeAxis(std::int64_t fromUs, std::int64_t toUs,
                            std::optional<std::int64_t> utcOfZeroUs)
{
    FromUs_ = fromUs;
    ToUs_ = std::max(toUs, fromUs + 1);
    TChartAxis& bottom = *Chart_->BottomAxis();
    if (utcOfZeroUs) {
        // Seconds since the midnight before the window: labels still fall on whole minutes and
        // hours, and a double keeps sub-microsecond steps, as it would not since 1970.
        constexpr std::int64_t DayUs = 86'400'000'000;
        const std::int64_t start = *utcOfZeroUs + FromUs_;
        const std::int64_t midnight = (start >= 0 ? start : start - DayUs + 1) / DayUs * DayUs;
        AxisFrom_ = static_cast<double>(start - midnight) / 1e6;
        bottom.LabelFormatter = FormatTimeOfDayLabel;
        if (ToUs_ - FromUs_ > DayUs) {
            // Over more than a day a label at midnight is the date: the times of day alone
            // repeat (and all read 00:00:00 once the labels are days apart).
            bottom.LabelFormatter = [midnight](double seconds) {
                const std::int64_t ms = std::llround(seconds * 1000.0);
                return ms % 86'400'000 == 0 ? FormatUtcDate(midnight + ms * 1000)
                                            : FormatTimeOfDayLabel(seconds);
            };
        }
        const std::string first = FormatUtcDate(*utcOfZeroUs + FromUs_);
        const std::string last = FormatUtcDate(*utcOfZeroUs + ToUs_);
        BottomCaption_ =
            std::string(ToUs_ - FromUs_ > DayUs ? "time (UTC), " : "time of day (UTC), ") + first +
            (last != first ? " to " + last : "");
    } else {
        AxisFrom_ = static_cast<double>(FromUs_) / 1e6;
        const bool hours = ToUs_ >= 3'600'000'000;
        bottom.LabelFormatter = [hours](double seconds) {
            return FormatElapsedLabel(seconds, hours);
        };
        BottomCaption_ = hours ? "time since the start (h:mm:ss)" : "time since the start (m:ss)";
    }
    bottom.Title().SetCaption(BottomCaption_);
    bottom.SetRange(AxisFrom_, AxisFrom_ + static_cast<double>(ToUs_ - FromUs_) / 1e6);
}

int PlotChart::Columns()
{
    // A draw on the measuring surface, which draws nothing, lays the chart out.
    Chart_->Draw(Measure_, TRect{0, 0, Width_, Height_});
    LaidOut_ = Chart_->ChartRect();
    StatisticsLines_ = Chart_->Title().Text().size() - 1;
    // Between the frame's columns: the series are clipped to these.
    Columns_ = std::max(1, LaidOut_.Right - LaidOut_.Left - 1);
    return Columns_;
}

double PlotChart::ColumnValue(int column) const
{
    return AxisFrom_ + (column + 0.5) * ColumnSeconds_;
}

std::int32_t PlotChart::ColumnPixel(int column) const
{
    return Chart_->BottomAxis()->ValueToPixel(ColumnValue(column));
}

std::int32_t PlotChart::DistancePixel(double distance) const
{
    return Chart_->LeftAxis()->ValueToPixel(distance);
}

void PlotChart::SetReadings(const PlotEnvelope& envelope)
{
    const auto& columns = envelope.Columns();
    if (Columns_ == 0 || static_cast<int>(columns.size()) != Columns_)
        throw std::logic_error("the envelope does not fit the laid-out plot");
    TChart& chart = *Chart_;
    // Column c holds the times [from + c * w, from + (c + 1) * w); the axis runs half a column
    // beyond both ends, so that the centre of column c lands on pixel left + 1 + c.
    ColumnSeconds_ = static_cast<double>(ToUs_ - FromUs_) / 1e6 / Columns_;
    chart.BottomAxis()->SetRange(AxisFrom_ - ColumnSeconds_ / 2,
                                 AxisFrom_ + (Columns_ + 0.5) * ColumnSeconds_);
    const double low = envelope.Min();
    const double high = envelope.Max();
    // Room above and below, so no reading lies on the frame.
    const double pad = std::max(2.0, (high - low) * 0.06);
    chart.LeftAxis()->SetRange(low - pad, high + pad);

    TFastLineSeries* series = nullptr;
    double lastX = 0;
    double lastY = 0;
    const auto add = [&](double x, double y) {
        if (series->PointCount() > 0 && x == lastX && y == lastY)
            return;
        series->AddPoint(x, y, "", UseSeriesColor);
        lastX = x;
        lastY = y;
    };
    // A line leaves out its end pixel: one more point a column on puts the last one down (and
    // makes a reading alone between two gaps a dot).
    const auto finish = [&] {
        if (series != nullptr)
            series->AddPoint(lastX + ColumnSeconds_, lastY, "", UseSeriesColor);
        series = nullptr;
    };
    for (int c = 0; c < Columns_; ++c) {
        const PlotEnvelope::Column& column = columns[static_cast<std::size_t>(c)];
        if (!column.Filled)
            continue;
        if (series == nullptr || column.BreakBefore) {
            finish();
            auto line = std::make_unique<TFastLineSeries>();
            line->LinePen().Assign(Line_);
            line->SetSeriesColor(Line_.Color);
            line->Marks.Visible = false;
            line->XValues().SetOrder(TChartListOrder::loNone);
            line->YValues().SetOrder(TChartListOrder::loNone);
            series = chart.AdoptSeries(std::move(line));
        }
        const double x = ColumnValue(c);
        add(x, column.First);
        add(x, column.MinBeforeMax ? column.Min : column.Max);
        add(x, column.MinBeforeMax ? column.Max : column.Min);
        add(x, column.Last);
    }
    finish();

    InGap_.assign(columns.size(), false);
    Drops_.assign(columns.size(), 0);
    for (std::size_t c = 0; c < columns.size(); ++c) {
        InGap_[c] = columns[c].InGap;
        Drops_[c] = columns[c].ChecksumDrops;
    }
}

// The extras below are drawn with the painter itself, between save and restore, so the chart's
// surface and canvas keep the state they believe the painter has.
void PlotChart::ShadeGaps()
{
    if (Painter_ == nullptr)
        return;
    Surface_->Flush();
    const TRect& plot = Chart_->ChartRect();
    const QColor color = QtSurface::ToQColor(GapColor_);
    for (std::size_t c = 0; c < InGap_.size(); ++c) {
        if (!InGap_[c])
            continue;
        std::size_t end = c;
        while (end + 1 < InGap_.size() && InGap_[end + 1])
            ++end;
        const std::int32_t left = ColumnPixel(static_cast<int>(c));
        const std::int32_t right = ColumnPixel(static_cast<int>(end)) + 1;
        Painter_->fillRect(QRect(left, plot.Top + 1, right - left, plot.Bottom - plot.Top - 1),
                           color);
        c = end;
    }
}

void PlotChart::MarkDropsAndCaptions()
{
    if (Painter_ == nullptr)
        return;
    Surface_->Flush();
    QPainter& p = *Painter_;
    p.save();
    p.setClipping(false);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const TRect& plot = Chart_->ChartRect();
    const TChartAxis& bottom = *Chart_->BottomAxis();
    const QColor dropColor = QtSurface::ToQColor(DropColor_);
    const std::int32_t strip = bottom.AxisLinePos + 2;
    bool drops = false;
    for (std::size_t c = 0; c < Drops_.size(); ++c) {
        if (Drops_[c] == 0)
            continue;
        drops = true;
        p.fillRect(QRect(ColumnPixel(static_cast<int>(c)), strip, 1, DropMark), dropColor);
    }
    const bool gaps = std::find(InGap_.begin(), InGap_.end(), true) != InGap_.end();

    const QFont font = QtSurface::MakeFont(bottom.Title().Font().Data());
    const QFontMetrics metrics(font);
    const int h = metrics.height();
    const int baseline = bottom.TitleAnchor + metrics.ascent();
    p.setFont(font);
    p.setPen(QtSurface::ToQColor(CaptionColor_));
    const QString caption = QString::fromStdString(BottomCaption_);
    p.drawText(
        QPoint((plot.Left + plot.Right) / 2 - metrics.horizontalAdvance(caption) / 2, baseline),
        caption);

    // What the shading and the marks mean, at the right end of the caption row.
    int x = plot.Right;
    const int top = bottom.TitleAnchor;
    if (drops) {
        const QString text = QStringLiteral("checksum drop");
        x -= metrics.horizontalAdvance(text);
        p.drawText(QPoint(x, baseline), text);
        x -= 8;
        p.fillRect(QRect(x, top + 2, 2, h - 4), dropColor);
        x -= 16;
    }
    if (gaps) {
        const QString text = QStringLiteral("gap");
        x -= metrics.horizontalAdvance(text);
        p.drawText(QPoint(x, baseline), text);
        x -= 20;
        p.fillRect(QRect(x, top + 2, 14, h - 4), QtSurface::ToQColor(GapColor_));
    }

    // The distance caption stands on end beside its labels.
    const TChartAxis& left = *Chart_->LeftAxis();
    const QFont leftFont = QtSurface::MakeFont(left.Title().Font().Data());
    const int band = QFontMetrics(leftFont).height();
    p.setFont(leftFont);
    p.translate(left.TitleAnchor - band, (plot.Top + plot.Bottom) / 2.0);
    p.rotate(-90);
    p.drawText(QRectF(-Height_, 0, 2.0 * Height_, band), Qt::AlignHCenter | Qt::AlignTop,
               QString::fromStdString(LeftCaption_));
    p.restore();
}

void PlotChart::Paint(QPainter& painter, bool vector)
{
    QtSurface surface(Measure_.Palette());
    surface.SetVectorOutput(vector);
    surface.Attach(&painter);
    Painter_ = &painter;
    Surface_ = &surface;
    const auto restore = [&] {
        Painter_ = nullptr;
        Surface_ = nullptr;
        surface.Detach();
    };
    try {
        Chart_->Draw(surface, TRect{0, 0, Width_, Height_});
    } catch (...) {
        restore();
        throw;
    }
    restore();
    if (Columns_ > 0 && !(Chart_->ChartRect() == LaidOut_))
        throw std::logic_error("the plot's layout changed after its columns were counted");
}

QImage PlotChart::Image()
{
    QImage image(Width_, Height_, QImage::Format_RGB32);
    // Qt gives a null image where the memory is not there.
    if (image.isNull())
        throw std::bad_alloc();
    image.fill(Qt::white);
    QPainter painter(&image);
    Paint(painter, false);
    painter.end();
    return image;
}

} // namespace rv
