#include "rangeview/tools/Plot.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "PictureFile.h"
#include "PlotSvg.h"
#include "rangeview/tools/PlotChart.h"
#include "rangeview/tools/PlotEnvelope.h"
#include "rangeview/tools/PlotInput.h"
#include "rangeview/tools/PlotOptions.h"
#include "rangeview/tools/ToolError.h"

namespace rv {

namespace {

// Qt's notes about its surroundings (a runtime directory, fonts) are not the user's business;
// its errors are, as one line like the command's own.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "rangeview-cli: plot: Qt: %s\n",
                     text.simplified().toLocal8Bit().constData());
}

// Qt for this command only, on the minimal platform with the system's fonts unless the user named
// another: the other commands never start it, and plot needs no display. (The offscreen platform
// knows no fonts on Windows: every text came out as empty boxes.)
class GuiScope {
public:
    GuiScope()
    {
        if (QCoreApplication::instance() != nullptr)
            return;
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "minimal:enable_fonts");
        Previous_ = qInstallMessageHandler(QuietQtMessages);
        App_.emplace(Argc_, Argv_);
    }
    ~GuiScope()
    {
        if (!App_)
            return;
        App_.reset();
        qInstallMessageHandler(Previous_);
    }
    GuiScope(const GuiScope&) = delete;
    GuiScope& operator=(const GuiScope&) = delete;

private:
    int Argc_ = 1;
    char Name_[16] = "rangeview-cli";
    char* Argv_[2] = {Name_, nullptr};
    QtMessageHandler Previous_ = nullptr;
    std::optional<QGuiApplication> App_;
};

// Thrown for what keeps the picture from being written (exit status 1).
class WriteFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Window {
    std::int64_t FromUs = 0;
    std::int64_t ToUs = 0;
    // The part of the window the recording covers: the readings per second are over it.
    double Seconds = 0;
};

std::int64_t ElapsedUs(const char* option, const PlotTime& time, const PlotExtent& extent,
                       const std::string& input)
{
    if (!time.Utc)
        return time.Us;
    if (!extent.UtcOfZeroUs)
        throw ToolError(std::string(option) + ": " + input +
                        " has no UTC times (a capture counts from its start): give seconds "
                        "since the start");
    return time.Us - *extent.UtcOfZeroUs;
}

Window ResolveWindow(const PlotOptions& options, const PlotExtent& extent)
{
    Window window;
    window.FromUs =
        options.From ? ElapsedUs("--from", *options.From, extent, options.Input) : extent.StartUs;
    window.ToUs = options.To ? ElapsedUs("--to", *options.To, extent, options.Input) : extent.EndUs;
    if (window.FromUs >= window.ToUs) {
        if (options.From && options.To)
            throw ToolError("--from must come before --to");
        if (options.From || options.To)
            throw ToolError(std::string(options.From ? "--from" : "--to") + " lies " +
                            (options.From ? "after the end" : "before the start") + " of " +
                            options.Input);
        // One instant (a single reading): a second around it.
        window.FromUs = std::max<std::int64_t>(0, window.FromUs - 500'000);
        window.ToUs = window.FromUs + 1'000'000;
    }
    const std::int64_t covered =
        std::min(window.ToUs, extent.EndUs) - std::max(window.FromUs, extent.StartUs);
    window.Seconds = covered > 0 ? static_cast<double>(covered) / 1e6 : 0.0;
    return window;
}

std::string TimeText(std::int64_t us, const PlotExtent& extent)
{
    if (extent.UtcOfZeroUs)
        return FormatUtcDate(*extent.UtcOfZeroUs + us) + "T" +
               FormatTimeOfDayLabel(static_cast<double>(*extent.UtcOfZeroUs + us) / 1e6) + "Z";
    return FormatElapsedLabel(static_cast<double>(us) / 1e6, true);
}

// The title as one line of text: a control character (a file name may hold any) shows as U+FFFD,
// and so do the two characters an SVG cannot hold (U+FFFE, U+FFFF); so does what is not UTF-8.
std::string PrintableTitle(const std::string& text)
{
    QString title = QString::fromStdString(text);
    for (QChar& c : title) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0xFFFE || u == 0xFFFF)
            c = QChar::ReplacementCharacter;
    }
    return title.toStdString();
}

// The figures of --stats for the readings drawn, as one line for people.
std::string StatisticsText(const std::map<std::string, std::string>& f, bool capture)
{
    const auto has = [&](const char* name) { return f.find(name) != f.end(); };
    std::string line = f.at("readings") + " readings";
    if (has("readings_per_s"))
        line += " at " + f.at("readings_per_s") + "/s";
    if (has("distance_min")) {
        line += "  \xC2\xB7  min " + f.at("distance_min") + " mm  \xC2\xB7  max " +
                f.at("distance_max") + " mm  \xC2\xB7  mean " + f.at("distance_mean") +
                " mm  \xC2\xB7  sd " + f.at("distance_sd") + " mm";
    }
    // Only a capture holds what did not decode.
    if (capture) {
        line += "  \xC2\xB7  " + f.at("checksum_drops") + " checksum drops  \xC2\xB7  " +
                f.at("skipped_bytes") + " skipped bytes";
    }
    return line;
}

std::string StatisticsLine(const PlotEnvelope& envelope, bool capture, double seconds)
{
    const auto fields = envelope.Statistics().Fields(envelope.Counts(), seconds, {});
    return StatisticsText({fields.begin(), fields.end()}, capture);
}

// The line at its widest, for laying the picture out before the figures are known: ten hours
// at the full rate have 8 digits of readings.
std::string WidestStatistics(bool capture)
{
    const std::string count(10, '0');
    return StatisticsText({{"readings", count},
                           {"readings_per_s", "00000.00"},
                           {"distance_min", "00000"},
                           {"distance_max", "00000"},
                           {"distance_mean", "00000.000"},
                           {"distance_sd", "00000.000"},
                           {"checksum_drops", count},
                           {"skipped_bytes", count}},
                          capture);
}

QByteArray PngPicture(PlotChart& chart)
{
    const QImage image = chart.Image();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        throw WriteFailure("cannot make the PNG: " + writer.errorString().toStdString());
    buffer.close();
    return bytes;
}

int RunPlot(std::span<const std::string_view> args, CliIo& io)
{
    const auto line = [&](const std::string& text) {
        io.Err << "rangeview-cli: plot: " << text << '\n';
    };
    PlotOptions options;
    try {
        options = ParsePlotOptions(args);
    } catch (const ToolError& error) {
        line(error.what());
        return 2;
    }
    if (options.Help) {
        io.Out << PlotUsage();
        return 0;
    }
    if (options.Format == PlotFormat::Svg && !SvgOutputAvailable()) {
        line("this rangeview-cli was built without Qt SVG: write a .png instead");
        return 2;
    }
    // A name the picture could never take fails before the input is read.
    if (const std::string refused = RefusedPictureName(options.Output); !refused.empty()) {
        line("cannot write " + options.Output + ": " + refused);
        return 1;
    }
    try {
        // The input is checked before Qt starts: a bad file fails at once.
        PlotInput input(options.Input);
        PlotExtent extent = input.Scan();
        for (const auto& note : input.TakeNotes())
            line("warning: " + note);
        Window window;
        try {
            window = ResolveWindow(options, extent);
        } catch (const ToolError&) {
            // --from or --to beyond the end may lie in a later recording of the same file.
            if (!input.FindJoined())
                throw;
            extent = input.Scan();
            window = ResolveWindow(options, extent);
        }

        GuiScope gui;
        const QPalette palette = QGuiApplication::palette();
        PlotChart chart(options.Style, options.Width, options.Height,
                        options.Style == PlotStyle::Window ? &palette : nullptr);
        const std::string title = PrintableTitle(
            options.Title ? *options.Title
                          : std::filesystem::path(options.Input).filename().string());
        const bool capture = input.Kind() == PlotInputKind::Capture;
        chart.SetTitle(title, WidestStatistics(capture));
        std::optional<PlotEnvelope> reduced;
        for (;;) {
            chart.SetTimeAxis(window.FromUs, window.ToUs, extent.UtcOfZeroUs);
            reduced.emplace(window.FromUs, window.ToUs, chart.Columns());
            if (input.Stream(*reduced))
                break;
            // Recordings joined in one file: their time line, from a walk through all of it.
            extent = input.Scan();
            window = ResolveWindow(options, extent);
        }
        const PlotEnvelope& envelope = *reduced;
        for (const auto& note : input.TakeNotes())
            line("warning: " + note);
        if (envelope.Readings() == 0) {
            if (options.From || options.To)
                line("no readings between " + TimeText(window.FromUs, extent) + " and " +
                     TimeText(window.ToUs, extent) + " in " + options.Input);
            else
                line(options.Input + " holds no readings");
            return 2;
        }
        const std::string statistics = StatisticsLine(envelope, capture, window.Seconds);
        chart.SetTitle(title, statistics);
        chart.SetReadings(envelope);
        // The whole picture is made before its file is touched.
        const QByteArray picture = options.Format == PlotFormat::Svg
                                       ? SvgPicture(chart, title, statistics)
                                       : PngPicture(chart);
        const std::string failure = PlacePicture(
            options.Output, std::span(reinterpret_cast<const std::uint8_t*>(picture.constData()),
                                      static_cast<std::size_t>(picture.size())));
        if (!failure.empty())
            throw WriteFailure(failure);
    } catch (const ToolError& error) {
        line(error.what());
        return 2;
    } catch (const WriteFailure& error) {
        line("cannot write " + options.Output + ": " + error.what());
        return 1;
    } catch (const std::bad_alloc&) {
        line("cannot draw a " + std::to_string(options.Width) + "x" +
             std::to_string(options.Height) + " picture: " + std::strerror(ENOMEM));
        return 1;
    }
    return 0;
}

} // namespace

CliCommand PlotCliCommand()
{
    return {"plot",
            "plot INPUT -o OUT.png|OUT.svg [--from T] [--to T] [--size WxH] [--title TEXT] "
            "[--style print|window]",
            "draw the distance in a capture or monitor CSV against time (plot --help)", RunPlot};
}

} // namespace rv
