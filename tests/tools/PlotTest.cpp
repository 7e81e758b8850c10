// `rangeview-cli plot`: the reduction to pixel columns against a brute force over every reading,
// the drawn picture against the same, the statistics against decode's, and the command's
// handling of good and bad input.

#include "rangeview/tools/Capture.h"
#include "rangeview/tools/Cli.h"
#include "rangeview/tools/LinkStatistics.h"
#include "rangeview/tools/Plot.h"
#include "rangeview/tools/PlotChart.h"
#include "rangeview/tools/PlotEnvelope.h"
#include "rangeview/tools/PlotInput.h"
#include "rangeview/tools/PlotOptions.h"
#include "rangeview/tools/SensorSimulator.h"
#include "rangeview/tools/UtcText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QXmlStreamReader>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>

namespace rv {
namespace {

struct Event {
    std::int64_t TimeUs;
    bool IsReading;
    std::uint16_t Distance = 0;
    std::uint64_t Drops = 0;
    std::uint64_t Skipped = 0;
};

// A jittery stream around 1000 mm with silences, runs of lost frames, single checksum drops and
// outliers planted far above and below the noise.
struct RandomStream {
    std::vector<Event> Events;
    std::vector<std::size_t> Outliers; // indices into Events
};

RandomStream MakeStream(std::uint32_t seed, std::int64_t startUs, std::int64_t lengthUs)
{
    std::mt19937_64 rng(seed);
    RandomStream stream;
    std::int64_t t = startUs;
    double level = 1000;
    while (t < startUs + lengthUs) {
        // Silences across the edges of the second case's window.
        for (const std::int64_t edge : {100'000'000, 160'000'000}) {
            if (t > edge - 500'000 && t < edge + 1'500'000)
                t = edge + 1'500'000;
        }
        const auto roll = rng() % 10000;
        if (roll < 3) {
            t += 1'000'001 + static_cast<std::int64_t>(rng() % 3'000'000); // silence
        } else if (roll < 6) {
            stream.Events.push_back({t, false, 0, 2 + rng() % 3, 0}); // a run of lost frames
        } else if (roll < 9) {
            stream.Events.push_back({t, false, 0, 0, 8 + rng() % 8}); // a frame's worth skipped
        } else if (roll < 40) {
            stream.Events.push_back({t, false, 0, 1, rng() % 3}); // one drop: no gap
        }
        level = std::clamp(level + static_cast<double>(rng() % 21) - 10.0, 800.0, 1200.0);
        auto distance = static_cast<std::uint16_t>(level);
        if (rng() % 5000 == 0) {
            distance = static_cast<std::uint16_t>(rng() % 2 ? 3000 + rng() % 60000 : rng() % 300);
            stream.Outliers.push_back(stream.Events.size());
        }
        stream.Events.push_back({t, true, distance});
        // Readings often share an arrival time (several frames in one read).
        t += static_cast<std::int64_t>(rng() % 4 == 0 ? rng() % 3000 : 0);
    }
    return stream;
}

void Feed(const std::vector<Event>& events, PlotSink& sink)
{
    for (const Event& e : events) {
        if (e.IsReading)
            sink.Reading(e.TimeUs, MeasurementReading{e.Distance, 3});
        else
            sink.Lost(e.TimeUs, e.Drops, e.Skipped);
    }
}

// Every reading looked at, with column c holding the times [from + c * span / n,
// from + (c + 1) * span / n), the window's end in the last column.
std::vector<PlotEnvelope::Column> BruteForce(const std::vector<Event>& events, std::int64_t from,
                                             std::int64_t to, int n)
{
    std::vector<PlotEnvelope::Column> columns(static_cast<std::size_t>(n));
    const auto columnOf = [&](std::int64_t t) {
        return static_cast<int>(std::min<std::int64_t>((t - from) * n / (to - from), n - 1));
    };
    std::vector<std::vector<std::uint16_t>> values(static_cast<std::size_t>(n));
    const Event* previous = nullptr;
    std::uint64_t drops = 0;
    std::uint64_t skipped = 0;
    int previousColumn = -1;
    for (const Event& e : events) {
        const bool inside = e.TimeUs >= from && e.TimeUs <= to;
        if (!e.IsReading) {
            drops += e.Drops;
            skipped += e.Skipped;
            if (inside) {
                columns[static_cast<std::size_t>(columnOf(e.TimeUs))].ChecksumDrops +=
                    static_cast<std::uint32_t>(e.Drops);
            }
            continue;
        }
        const bool gap = previous != nullptr &&
                         (e.TimeUs - previous->TimeUs > 1'000'000 || drops >= 2 || skipped >= 8);
        const bool fromBefore = previous != nullptr && previous->TimeUs < from;
        previous = &e;
        drops = skipped = 0;
        const auto shade = [&](int first, int end) {
            for (int k = first; k < end; ++k)
                columns[static_cast<std::size_t>(k)].InGap = true;
        };
        if (!inside) {
            if (gap && previousColumn >= 0)
                shade(previousColumn + 1, n); // past the window's end
            previousColumn = -1;
            continue;
        }
        const int c = columnOf(e.TimeUs);
        if (gap && previousColumn >= 0 && c != previousColumn) {
            columns[static_cast<std::size_t>(c)].BreakBefore = true;
            shade(previousColumn + 1, c);
        } else if (gap && fromBefore) {
            shade(0, c); // from before the window's start
        }
        previousColumn = c;
        values[static_cast<std::size_t>(c)].push_back(e.Distance);
    }
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const auto& v = values[c];
        if (v.empty())
            continue;
        auto& column = columns[c];
        column.Filled = true;
        column.First = v.front();
        column.Last = v.back();
        const auto low = std::min_element(v.begin(), v.end());
        const auto high = std::max_element(v.begin(), v.end());
        column.Min = *low;
        column.Max = *high;
        column.MinBeforeMax = low <= high;
    }
    return columns;
}

bool SameColumn(const PlotEnvelope::Column& a, const PlotEnvelope::Column& b)
{
    return a.Filled == b.Filled && a.BreakBefore == b.BreakBefore && a.InGap == b.InGap &&
           a.ChecksumDrops == b.ChecksumDrops &&
           (!a.Filled ||
            (a.First == b.First && a.Min == b.Min && a.Max == b.Max && a.Last == b.Last &&
             (a.Min == a.Max || a.MinBeforeMax == b.MinBeforeMax)));
}

// Random data with planted outliers, reduced and drawn: each column must hold exactly what a
// look at every reading finds, the picture must show each column's full span and nothing
// beyond its neighbours', and every outlier must be on the line.
TEST(PlotEnvelope, HoldsAndDrawsEveryExtremeOfRandomDataWithPlantedOutliers)
{
    struct Case {
        std::uint32_t Seed;
        std::int64_t FromUs, ToUs; // the window
        int Width, Height;
        PlotStyle Style;
    };
    for (const Case& test : {
             Case{1, 0, 600'000'000, 1600, 600, PlotStyle::Print},
             Case{2, 100'000'000, 160'000'000, 1000, 400, PlotStyle::Print},
             Case{3, 0, 90'000'000, 600, 500, PlotStyle::Window},
         }) {
        SCOPED_TRACE(test.Seed);
        const RandomStream stream = MakeStream(test.Seed, 0, 600'000'000);
        PlotChart chart(test.Style, test.Width, test.Height);
        chart.SetTimeAxis(test.FromUs, test.ToUs, std::nullopt);
        // The statistics at their widest for the layout, the figures once known.
        const auto statistics = [](const std::string& count, const std::string& mean) {
            return count +
                   " readings at 1440.00/s  \xC2\xB7  min 312 mm  \xC2\xB7  max 65535 mm  " +
                   "\xC2\xB7  mean " + mean + " mm  \xC2\xB7  sd 12.345 mm  \xC2\xB7  " + count +
                   " checksum drops  \xC2\xB7  " + count + " skipped bytes";
        };
        chart.SetTitle("a title", statistics("0000000000", "00000.000"));
        const int n = chart.Columns();
        ASSERT_GT(n, test.Width * 8 / 10);
        PlotEnvelope envelope(test.FromUs, test.ToUs, n);
        Feed(stream.Events, envelope);
        const auto expected = BruteForce(stream.Events, test.FromUs, test.ToUs, n);
        const auto& got = envelope.Columns();
        ASSERT_EQ(got.size(), expected.size());
        int gaps = 0;
        for (int c = 0; c < n; ++c) {
            ASSERT_TRUE(SameColumn(got[c], expected[c])) << "column " << c;
            gaps += got[c].InGap ? 1 : 0;
        }
        EXPECT_GT(gaps, 0);

        chart.SetReadings(envelope);
        const std::string figures = statistics("5184000", "1000.123");
        chart.SetTitle("a title", figures);
        const QImage image = chart.Image();
        ASSERT_EQ(image.width(), test.Width);
        // Every figure is in the title, and every line of it inside the picture.
        const auto& lines = chart.Chart().Title().Text();
        const QFontMetrics metrics(QtSurface::MakeFont(chart.Chart().Title().Font().Data()));
        std::string words;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            EXPECT_LE(metrics.horizontalAdvance(QString::fromStdString(lines[i])), test.Width)
                << lines[i];
            words += lines[i].empty() ? "" : " " + lines[i];
        }
        const auto fields = [](const std::string& text) {
            return QString::fromStdString(text).remove(QChar(0xB7)).simplified().toStdString();
        };
        EXPECT_EQ(fields(words), fields(figures));
        const QRgb line = test.Style == PlotStyle::Print ? qRgb(0x1F, 0x4E, 0x9A) : qRgb(255, 0, 0);
        const auto isLine = [&](int x, int y) { return image.pixel(x, y) == line; };
        int outliersSeen = 0;
        for (const std::size_t i : stream.Outliers) {
            const Event& e = stream.Events[i];
            if (e.TimeUs < test.FromUs || e.TimeUs > test.ToUs)
                continue;
            const int c = envelope.ColumnOf(e.TimeUs);
            EXPECT_TRUE(isLine(chart.ColumnPixel(c), chart.DistancePixel(e.Distance)))
                << "outlier " << e.Distance << " at " << e.TimeUs;
            ++outliersSeen;
        }
        EXPECT_GT(outliersSeen, 0);
        if (test.Style != PlotStyle::Print)
            continue; // the window's wide pen covers neighbouring pixels too
        for (int c = 0; c < n; ++c) {
            const int x = chart.ColumnPixel(c);
            const auto& column = got[c];
            if (column.InGap) {
                for (int y = 0; y < image.height(); ++y)
                    ASSERT_FALSE(isLine(x, y)) << "a line across the gap at column " << c;
            }
            if (!column.Filled)
                continue;
            for (int y = chart.DistancePixel(column.Max); y <= chart.DistancePixel(column.Min); ++y)
                ASSERT_TRUE(isLine(x, y)) << "column " << c << " row " << y;
            std::uint16_t low = column.Min;
            std::uint16_t high = column.Max;
            for (int k = std::max(0, c - 1); k <= std::min(n - 1, c + 1); ++k) {
                if (got[k].Filled) {
                    low = std::min(low, got[k].Min);
                    high = std::max(high, got[k].Max);
                }
            }
            for (int y = 0; y < image.height(); ++y) {
                const bool beyond = y < chart.DistancePixel(high) || y > chart.DistancePixel(low);
                ASSERT_FALSE(beyond && isLine(x, y)) << "beyond the readings at column " << c;
            }
        }
    }
}

// Writes a capture of records (time, bytes).
void WriteCapture(const std::string& path,
                  const std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>>& records,
                  std::size_t cutShort = 0)
{
    std::string bytes;
    const auto header = CaptureFormat::EncodeHeader();
    bytes.append(header.begin(), header.end());
    for (const auto& [time, data] : records) {
        const auto head =
            CaptureFormat::EncodeRecordHead(time, static_cast<std::uint32_t>(data.size()));
        bytes.append(head.begin(), head.end());
        bytes.append(data.begin(), data.end());
    }
    bytes.resize(bytes.size() - cutShort);
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::uint8_t> Frame(std::uint16_t distance)
{
    std::array<std::uint8_t, MeasurementFrame::MaxSize> out{};
    const std::size_t size = MeasurementFrame::ForReading(distance, 3).Encode(out);
    return {out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size)};
}

// The simulator's frames with its faults, in reads of random size at random times.
std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> SimulatedRecords(int frames)
{
    SimulatorSettings settings;
    settings.BadChecksumEvery = 13;
    settings.StrayEvery = 17;
    SensorSimulator simulator(DistanceSignal::Noise(4), settings);
    FrameOutputQueue queue;
    for (int i = 0; i < frames; ++i)
        simulator.EmitFrame(queue);
    const auto all = queue.Pending();
    std::mt19937 rng(9);
    std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> records;
    std::uint64_t time = 2000;
    for (std::size_t at = 0; at < all.size();) {
        const std::size_t size = std::min<std::size_t>(1 + rng() % 40, all.size() - at);
        records.emplace_back(time,
                             std::vector<std::uint8_t>(all.begin() + static_cast<long>(at),
                                                       all.begin() + static_cast<long>(at + size)));
        at += size;
        time += rng() % 20000;
    }
    return records;
}

std::map<std::string, std::string>
FieldMap(const std::vector<std::pair<std::string, std::string>>& fields)
{
    return {fields.begin(), fields.end()};
}

// The statistics line of the picture uses the figures decode --capture --stats prints.
TEST(PlotInput, StreamsACaptureToTheFiguresDecodeGives)
{
    test::TempDir dir;
    const std::string path = dir.Path + "/faulty.cap";
    WriteCapture(path, SimulatedRecords(3000));

    std::ostringstream out;
    std::ostringstream err;
    CliIo io{-1, out, err};
    CountingDecoder decoder;
    LinkStatistics decoded;
    double seconds = 0;
    ASSERT_EQ(DecodeCapture(path, io, decoder, decoded, seconds), 0);
    const auto want = FieldMap(decoded.Fields(decoder.Counts(), seconds, {}));
    ASSERT_NE(want.at("checksum_drops"), "0");
    ASSERT_NE(want.at("skipped_bytes"), "0");

    PlotInput input(path);
    EXPECT_EQ(input.Kind(), PlotInputKind::Capture);
    const PlotExtent extent = input.Scan();
    EXPECT_EQ(extent.StartUs, 0);
    PlotEnvelope envelope(extent.StartUs, extent.EndUs, 777);
    EXPECT_TRUE(input.Stream(envelope));
    const auto got = FieldMap(envelope.Statistics().Fields(
        envelope.Counts(), static_cast<double>(extent.EndUs - extent.StartUs) / 1e6, {}));
    for (const char* name : {"readings", "checksum_drops", "skipped_bytes", "readings_per_s",
                             "distance_min", "distance_max", "distance_mean", "distance_sd"})
        EXPECT_EQ(got.at(name), want.at(name)) << name;
}

struct PlotRun {
    int Status;
    std::vector<std::string> Err;
};

PlotRun Plot(std::vector<std::string> args)
{
    std::vector<std::string_view> views(args.begin(), args.end());
    std::ostringstream out;
    std::ostringstream err;
    CliIo io{-1, out, err};
    const CliCommand command = PlotCliCommand();
    PlotRun run{command.Run(views, io), {}};
    std::istringstream lines(err.str());
    for (std::string line; std::getline(lines, line);)
        run.Err.push_back(line);
    return run;
}

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The file-size limit (ulimit -f) lowered while it lives, SIGXFSZ left as a shell leaves it: a
// write past it fails only where plot asks for an error instead of the signal.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uint64_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &Old_);
        rlimit lower = Old_;
        lower.rlim_cur = static_cast<rlim_t>(bytes);
        ::setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &Old_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit Old_{};
};

// Each kind of input told by its content, the notes for a file cut short or with stray lines,
// and one line with status 2 (1 for a picture that cannot be written: a full disk, a link) and
// nothing written for the rest: what had the picture's name, or a link's target, stays as it was.
TEST(PlotCommand, DrawsEachKindOfInputAndRefusesBadInputWithOneLine)
{
    test::TempDir dir;
    const std::string d = dir.Path + "/";
    std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> records;
    for (int i = 0; i < 300; ++i)
        records.emplace_back(i < 150 ? i * 10'000 : 5'000'000 + i * 10'000, Frame(900 + i % 50));
    WriteCapture(d + "two-parts.cap", records);
    const std::string hostileName = "R&D bench <3\x01.cap";
    WriteCapture(d + hostileName, records);
    const std::string hostileTitle = "</title><script>alert(1)</script><title>";
    WriteCapture(d + "cut.cap", records, 3);
    WriteCapture(d + "no-readings.cap", {{0, {0x01, 0x02}}, {5, {0x03}}});
    WriteCapture(d + "damaged.cap", {{0, Frame(1000)}, {10, {}}, {20, Frame(1000)}});
    std::ofstream(d + "night.csv") << "time_utc,elapsed_ms,distance_mm,mode,mode_name\n"
                                      "2026-12-07T23:59:59.500Z,0,1000,3,一般模式\n"
                                      "2026-12-07T23:59:59.600Z,100,1010,3,一般模式\n"
                                      "2026-12-07T23:59:59.600Z,1000000000000000,1010,3,x\n"
                                   << "garbage" << std::string(3 << 20, 'x')
                                   << "\n"
                                      "2026-12-08T00:00:01.600Z,2100,990,3,一般模式\n"
                                      "2026-12-08T00:00:01.700Z,2200,995,3,一";
    std::ofstream(d + "lines.txt") << "0,1000,3\n100,1010,3\n200,1020,3\n";
    // Two recordings joined in one file: every reading is drawn, each recording at its own time.
    std::ofstream(d + "joined.csv") << "time_utc,elapsed_ms,distance_mm,mode,mode_name\n"
                                       "2026-12-07T12:00:00.000Z,0,1000,3,a\n"
                                       "2026-12-07T12:00:00.100Z,100,1001,3,a\n"
                                       "2026-12-07T12:00:00.200Z,200,1002,3,a\n"
                                       "time_utc,elapsed_ms,distance_mm,mode,mode_name\n"
                                       "2026-12-07T12:01:00.000Z,0,900,3,a\n"
                                       "2026-12-07T12:01:00.100Z,100,901,3,a\n";
    std::ofstream(d + "joined.txt") << "0,1000,3\n100,1010,3\n0,900,3\n";
    std::ofstream(d + "empty.cap");
    ASSERT_EQ(::mkfifo((d + "fifo").c_str(), 0600), 0);
    std::ofstream(d + "text.txt") << "hello\n";
    std::ofstream(d + "kept.png") << "an older picture";
    std::ofstream(d + "target.png") << "an older picture";
    std::filesystem::create_symlink(d + "target.png", d + "link.png");
    std::filesystem::create_symlink(d + "nowhere.png", d + "dangling.png");

    struct Case {
        std::vector<std::string> Args;
        int Status;
        std::vector<std::string> Err; // what each line starts with after "rangeview-cli: plot: "
        std::string Output; // written (a PNG or an SVG), or empty for nothing
        // Above 0: the file-size limit (ulimit -f) while it runs, a disk that fills up.
        std::uint64_t FileSizeLimit = 0;
        std::string SvgTitle{}; // the title an SVG must hold, when given
        std::string SvgDescription{}; // what its description (the statistics) starts with
    };
    const std::vector<Case> cases{
        {{d + "two-parts.cap", "-o", d + "a.png"}, 0, {}, "png"},
        {{d + "two-parts.cap", "-o", d + "a.svg", "--style", "window", "--size", "800x400"},
         0,
         {},
         "svg"},
        {{d + hostileName, "-o", d + "f.svg"}, 0, {}, "svg", 0, "R&D bench <3\uFFFD.cap"},
        {{d + "two-parts.cap", "-o", d + "g.svg", "--title", hostileTitle},
         0,
         {},
         "svg",
         0,
         hostileTitle},
        {{d + "cut.cap", "-o", d + "b.png", "--title", "cut"},
         0,
         {"warning: " + d + "cut.cap ends inside a record; plotted up to its last whole record"},
         "png"},
        {{d + "night.csv", "-o", d + "c.png", "--from", "2026-12-07T23:59:59Z"},
         0,
         {"warning: " + d + "night.csv ends inside a line (cut short)",
          "warning: " + d +
              "night.csv: skipped 2 lines that hold no reading (the first is line 4)"},
         "png"},
        {{d + "lines.txt", "-o", d + "d.PNG", "--to", "0:00.15"}, 0, {}, "png"},
        {{d + "joined.csv", "-o", d + "j.svg"},
         0,
         {"warning: " + d +
              "joined.csv: skipped 1 line that holds no reading (the first is line 5)",
          "warning: " + d + "joined.csv: time goes back at line 6 (recordings joined in one file)"},
         "svg",
         0,
         "joined.csv",
         "5 readings"},
        {{d + "joined.csv", "-o", d + "k.svg", "--from", "2026-12-07T12:01Z"},
         0,
         {"warning: " + d + "joined.csv: skipped 1 line",
          "warning: " + d + "joined.csv: time goes"},
         "svg",
         0,
         "",
         "2 readings"},
        {{d + "joined.txt", "-o", d + "l.svg"},
         0,
         {"warning: " + d + "joined.txt: time goes back at line 3"},
         "svg",
         0,
         "",
         "3 readings"},
        {{d + "two-parts.cap", "-o", d + "e.png", "--from", "2", "--to", "3"},
         2,
         {"no readings between 0:00:02 and 0:00:03 in " + d + "two-parts.cap"},
         ""},
        {{d + "two-parts.cap", "-o", d + "e.png", "--from", "2026-12-07T00:00:00Z"},
         2,
         {"--from: " + d + "two-parts.cap has no UTC times"},
         ""},
        {{d + "no-readings.cap", "-o", d + "e.png"},
         2,
         {d + "no-readings.cap holds no readings"},
         ""},
        {{d + "damaged.cap", "-o", d + "h.png"},
         0,
         {"warning: " + d +
          "damaged.cap: damaged capture: a record of 0 bytes at offset 36; plotted up to the "
          "last whole record before it"},
         "png"},
        {{d + "fifo", "-o", d + "e.png"}, 2, {d + "fifo: a pipe, not a file"}, ""},
        {{d + "missing.cap", "-o", d + "e.png"}, 2, {d + "missing.cap: cannot open: "}, ""},
        {{d + "empty.cap", "-o", d + "e.png"}, 2, {d + "empty.cap: the file is empty"}, ""},
        {{d + "text.txt", "-o", d + "e.png"}, 2, {d + "text.txt: neither a capture"}, ""},
        {{d + "two-parts.cap", "-o", d + "e.jpg"}, 2, {"the picture's name must end in"}, ""},
        {{d + "two-parts.cap", "-o", d + "no/such/dir/e.png"}, 1, {"cannot write "}, ""},
        {{d + "no-readings.cap", "-o", d + "kept.png"}, 2, {d + "no-readings.cap holds no"}, ""},
        {{d + "two-parts.cap", "-o", d + "kept.png"},
         1,
         {"cannot write " + d + "kept.png: File too large"},
         "",
         1000},
        {{d + "two-parts.cap", "-o", d + "link.png"},
         1,
         {"cannot write " + d + "link.png: not a"},
         ""},
        {{d + "two-parts.cap", "-o", d + "dangling.png"},
         1,
         {"cannot write " + d + "dangling.png: not a regular file"},
         ""},
    };
    for (const Case& test : cases) {
        std::string joined;
        for (const auto& a : test.Args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        const std::string output = test.Args[2];
        const bool existed = std::filesystem::exists(output);
        std::optional<FileSizeLimit> limit;
        if (test.FileSizeLimit > 0)
            limit.emplace(test.FileSizeLimit);
        const PlotRun run = Plot(test.Args);
        limit.reset();
        EXPECT_EQ(run.Status, test.Status);
        ASSERT_EQ(run.Err.size(), test.Err.size());
        for (std::size_t i = 0; i < run.Err.size(); ++i)
            EXPECT_TRUE(run.Err[i].starts_with("rangeview-cli: plot: " + test.Err[i]))
                << run.Err[i];
        if (test.Output == "png") {
            const QImage image(QString::fromStdString(output));
            EXPECT_FALSE(image.isNull());
        } else if (test.Output == "svg") {
            // Well-formed XML whatever the names and titles hold, and nothing but the drawing.
            const std::string svg = Slurp(output);
            QXmlStreamReader xml(QByteArray::fromStdString(svg));
            std::string title;
            std::string description;
            while (!xml.atEnd()) {
                if (xml.readNext() != QXmlStreamReader::StartElement)
                    continue;
                EXPECT_NE(xml.name().toString().toStdString(), "script");
                if (xml.name() == QStringLiteral("title"))
                    title = xml.readElementText().toStdString();
                if (xml.name() == QStringLiteral("desc"))
                    description = xml.readElementText().toStdString();
            }
            EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
            if (!test.SvgTitle.empty()) {
                EXPECT_EQ(title, test.SvgTitle);
            }
            EXPECT_TRUE(description.starts_with(test.SvgDescription)) << description;
        } else if (existed) {
            EXPECT_EQ(Slurp(output), "an older picture");
        } else {
            EXPECT_FALSE(std::filesystem::exists(output));
        }
    }
    EXPECT_EQ(Slurp(d + "target.png"), "an older picture");
    EXPECT_FALSE(std::filesystem::exists(d + "nowhere.png"));
    // Only the pictures asked for, no temporary files left behind.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path))
        files += entry.path().filename().string().find(".png") != std::string::npos ||
                 entry.path().filename().string().find(".PNG") != std::string::npos ||
                 entry.path().filename().string().find(".svg") != std::string::npos;
    EXPECT_EQ(files, 15);
}

// Times, sizes and styles on the command line, and the time axis's labels and steps.
TEST(PlotOptions, ReadTimesSizesAndStylesAndRefuseTheRest)
{
    const auto parse = [](std::vector<std::string_view> args) { return ParsePlotOptions(args); };
    const PlotOptions options =
        parse({"in.cap", "--output=x.svg", "--from", "1:30", "--to", "2026-12-07 12:36:01.5",
               "--size", "800x300", "--style", "window", "--title", ""});
    EXPECT_EQ(options.Format, PlotFormat::Svg);
    EXPECT_EQ(options.From->Us, 90'000'000);
    EXPECT_FALSE(options.From->Utc);
    EXPECT_TRUE(options.To->Utc);
    EXPECT_EQ(options.To->Us, *ParseUtcMillis("2026-12-07T12:36:01.500Z"));
    EXPECT_EQ(options.Width, 800);
    EXPECT_EQ(options.Style, PlotStyle::Window);
    EXPECT_EQ(options.Title, "");
    EXPECT_EQ(ParsePlotTime("--from", "1:00:00.25").Us, 3'600'250'000);
    EXPECT_EQ(ParsePlotTime("--from", "2.5").Us, 2'500'000);
    EXPECT_EQ(ParsePlotTime("--from", "1970-01-02T00:00Z").Us, 86'400'000'000);
    for (const std::vector<std::string_view>& bad :
         {std::vector<std::string_view>{"in.cap"},
          {"-o", "x.png"},
          {"a", "b", "-o", "x.png"},
          {"in.cap", "-o", "x.png", "--size", "100x100"},
          {"in.cap", "-o", "x.png", "--from", "-1"},
          {"in.cap", "-o", "x.png", "--from", "1:60"},
          {"in.cap", "-o", "x.png", "--to", "2026-13-01T00:00"},
          {"in.cap", "-o", "x.png", "--from", "5", "--to", "5"},
          {"in.cap", "-o", "x.png", "--style", "dark"},
          {"in.cap", "-o", "x.png", "--bogus"}})
        EXPECT_THROW(parse(bad), ToolError) << bad.back();

    EXPECT_EQ(FormatElapsedLabel(0, false), "0:00");
    EXPECT_EQ(FormatElapsedLabel(90.5, false), "1:30.5");
    EXPECT_EQ(FormatElapsedLabel(36000, true), "10:00:00");
    EXPECT_EQ(FormatElapsedLabel(-1.125, true), "-0:00:01.125");
    EXPECT_EQ(FormatTimeOfDayLabel(86400.0 * 20000 + 45296.007), "12:34:56.007");
    // The calendar repeats every 400 years (146097 days), beyond std::chrono's years too.
    const std::int64_t day = *ParseUtcMillis("2026-12-07T12:00:00.000Z");
    constexpr std::int64_t Cycle = 146'097LL * 86'400'000'000;
    EXPECT_EQ(FormatUtcDate(day + 80 * Cycle), "34026-12-07");
    EXPECT_EQ(FormatUtcDate(day - 10 * Cycle), "-1974-12-07");
    double step = 0.001;
    std::vector<double> steps;
    while (step < 86400 * 3) {
        step = NextTimeStep(step);
        if (step >= 1)
            steps.push_back(step);
    }
    EXPECT_EQ(steps, (std::vector<double>{1,     2,     5,     10,    15,     30,    60,
                                          120,   300,   600,   900,   1800,   3600,  7200,
                                          10800, 21600, 43200, 86400, 172800, 432000}));
}

} // namespace
} // namespace rv
