#include "rangeview/tools/PlotInput.h"

#include "rangeview/tools/Capture.h"
#include "rangeview/tools/InputFile.h"
#include "rangeview/tools/LinkStatistics.h"
#include "rangeview/tools/ReadingTable.h"
#include "rangeview/tools/ToolError.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace rv {

namespace {

// Between recordings joined in one file that tell nothing of the time between them.
constexpr std::int64_t RestartGapUs = 1'000'000;
// The longest time line of recordings joined in one file: a hundred of a century each.
constexpr std::int64_t MaxJoinedUs = 100 * static_cast<std::int64_t>(CaptureFormat::MaxTimeUs);

// Why a name that is not a file cannot be drawn, or nullptr: plot reads its input twice, which
// only a file allows.
const char* NotAFile(std::filesystem::file_type type)
{
    using std::filesystem::file_type;
    switch (type) {
    case file_type::regular:
    case file_type::not_found:
    case file_type::none:
        return nullptr;
    case file_type::directory:
        return "a folder, not a file";
    case file_type::fifo:
        return "a pipe, not a file: plot reads its input twice; save the stream to a file first";
    case file_type::block:
    case file_type::character:
        return "a device, not a file: plot reads its input twice; save what it gives to a file "
               "first";
    default:
        return "not a regular file";
    }
}

std::string_view WithoutBom(std::string_view text)
{
    return text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text;
}

// Lines of a text file through one fixed buffer. A line longer than the buffer holds no reading:
// it comes as one empty line, however long, and only its end is looked for.
class LineReader {
public:
    explicit LineReader(const std::string& path) : File_(path), Buffer_(1 << 20) { }

    // The next line without its "\n" or "\r\n"; `whole` is false for a last line that has no
    // newline. False at the end.
    bool Next(std::string_view& line, bool& whole)
    {
        for (;;) {
            const char* begin = Buffer_.data() + Begin_;
            if (const void* newline = std::memchr(begin, '\n', End_ - Begin_)) {
                const auto length =
                    static_cast<std::size_t>(static_cast<const char*>(newline) - begin);
                line = Overlong_ ? std::string_view() : std::string_view(begin, length);
                if (line.ends_with('\r'))
                    line.remove_suffix(1);
                Begin_ += length + 1;
                Overlong_ = false;
                whole = true;
                ++Number_;
                return true;
            }
            if (Eof_) {
                if (Begin_ == End_ && !Overlong_)
                    return false;
                line = Overlong_ ? std::string_view() : std::string_view(begin, End_ - Begin_);
                whole = false;
                Begin_ = End_;
                Overlong_ = false;
                ++Number_;
                return true;
            }
            if (Overlong_ || (Begin_ == 0 && End_ == Buffer_.size())) {
                Overlong_ = true;
                Begin_ = End_;
            }
            std::memmove(Buffer_.data(), Buffer_.data() + Begin_, End_ - Begin_);
            End_ -= Begin_;
            Begin_ = 0;
            const std::size_t got = File_.Read(std::span(Buffer_).subspan(End_));
            if (got == 0)
                Eof_ = true;
            End_ += got;
        }
    }
    std::uint64_t LineNumber() const { return Number_; }

private:
    InputFile File_;
    std::vector<char> Buffer_;
    std::size_t Begin_ = 0;
    std::size_t End_ = 0;
    bool Eof_ = false;
    bool Overlong_ = false; // inside a line longer than the buffer
    std::uint64_t Number_ = 0;
};

} // namespace

PlotInput::PlotInput(std::string path) : Path_(std::move(path))
{
    // Before it is opened: opening a pipe waits for a writer.
    std::error_code error;
    if (const char* what = NotAFile(std::filesystem::status(Path_, error).type()))
        throw ToolError(Path_ + ": " + what);
    char head[512];
    const std::size_t got = InputFile(Path_).Read(std::span(head));
    if (got == 0)
        throw ToolError(Path_ + ": the file is empty");
    const std::string_view text(head, got);
    if (text.starts_with(std::string_view(CaptureFormat::Magic, sizeof CaptureFormat::Magic))) {
        Kind_ = PlotInputKind::Capture;
        return;
    }
    std::string_view first = WithoutBom(text);
    first = first.substr(0, first.find('\n'));
    if (first.ends_with('\r'))
        first.remove_suffix(1);
    if (first.starts_with(ReadingTable::NeededHeader)) {
        Kind_ = PlotInputKind::MonitorCsv;
    } else if (first.size() < text.size() && ParseReadingLine(first)) {
        Kind_ = PlotInputKind::Readings;
    } else {
        throw ToolError(Path_ +
                        ": neither a capture (monitor --raw) nor a monitor CSV (monitor --csv)");
    }
}

std::optional<ReadingRow> PlotInput::Row(std::string_view line, bool withUtc) const
{
    return Kind_ == PlotInputKind::MonitorCsv ? ParseTableRow(line, withUtc)
                                              : ParseReadingLine(line);
}

void PlotInput::Note(std::string text)
{
    if (std::find(Told_.begin(), Told_.end(), text) != Told_.end())
        return;
    Told_.push_back(text);
    Notes_.push_back(std::move(text));
}

std::vector<std::string> PlotInput::TakeNotes()
{
    return std::exchange(Notes_, {});
}

void PlotInput::NoteCutShortLine()
{
    Note(Path_ + " ends inside a line (cut short); plotted up to its last whole line");
}

PlotExtent PlotInput::Scan()
{
    return Kind_ == PlotInputKind::Capture ? ScanCapture() : ScanLines();
}

bool PlotInput::Stream(PlotSink& sink)
{
    if (Kind_ == PlotInputKind::Capture) {
        StreamCapture(sink);
        return true;
    }
    return StreamLines(sink);
}

PlotExtent PlotInput::ScanCapture()
{
    CaptureReader reader(Path_);
    PlotExtent extent;
    CaptureRecord record;
    try {
        while (reader.NextInto(record))
            extent.EndUs = static_cast<std::int64_t>(record.TimeUs);
    } catch (const CaptureDamage& damage) {
        Note(CaptureDamageNote(damage.what(), "plotted"));
    }
    if (reader.Truncated())
        Note(CaptureCutShortNote(Path_, "plotted"));
    return extent;
}

void PlotInput::StreamCapture(PlotSink& sink)
{
    CaptureReader reader(Path_);
    CountingDecoder decoder;
    DecodeCounts told;
    std::int64_t time = 0;
    const auto tellLosses = [&] {
        const DecodeCounts now = decoder.Counts();
        if (now.ChecksumDrops == told.ChecksumDrops && now.SkippedBytes == told.SkippedBytes)
            return;
        sink.Lost(time, now.ChecksumDrops - told.ChecksumDrops,
                  now.SkippedBytes - told.SkippedBytes);
        told = now;
    };
    CaptureRecord record;
    try {
        while (reader.NextInto(record)) {
            time = static_cast<std::int64_t>(record.TimeUs);
            for (const std::uint8_t b : record.Bytes) {
                if (const auto reading = decoder.FeedByte(b)) {
                    // What was lost before this reading belongs before it.
                    tellLosses();
                    sink.Reading(time, *reading);
                }
            }
            tellLosses();
        }
    } catch (const CaptureDamage& damage) {
        // Told by Scan already: the records before it are drawn.
        Note(CaptureDamageNote(damage.what(), "plotted"));
    }
}

PlotExtent PlotInput::ScanLines()
{
    const bool csv = Kind_ == PlotInputKind::MonitorCsv;
    PlotExtent extent;
    std::optional<ReadingRow> first;
    {
        LineReader lines(Path_);
        std::string_view line;
        bool whole = true;
        while (!first && lines.Next(line, whole)) {
            if ((csv && lines.LineNumber() == 1) || !whole)
                continue;
            const std::string_view text = lines.LineNumber() == 1 ? WithoutBom(line) : line;
            first = Row(text, csv);
            // A row whose UTC time does not read is still a reading: the axis counts elapsed
            // time then.
            if (!first && csv)
                first = Row(text, false);
        }
        if (!first)
            return extent;
    }
    extent.StartUs = extent.EndUs = first->ElapsedUs;
    if (first->UtcUs)
        extent.UtcOfZeroUs = *first->UtcUs - first->ElapsedUs;
    UtcOfZero_ = extent.UtcOfZeroUs;
    if (Joined_) {
        // Its time line ends where its last recording does: only a walk through it tells.
        WalkRows([&](std::int64_t timeUs, const ReadingRow&, bool) {
            extent.EndUs = std::max(extent.EndUs, timeUs);
            return true;
        });
        return extent;
    }

    // The last row from the end of the file, without reading all of it.
    constexpr std::uint64_t Tail = 1 << 20;
    std::string tail;
    std::uint64_t from = 0;
    {
        InputFile file(Path_);
        const std::uint64_t size = file.Size();
        from = size > Tail ? size - Tail : 0;
        tail.resize(static_cast<std::size_t>(size - from));
        file.SeekTo(from);
        tail.resize(file.Read(std::span(tail)));
    }
    std::string_view rest(tail);
    if (!rest.empty() && !rest.ends_with('\n')) {
        NoteCutShortLine();
        const std::size_t newline = rest.rfind('\n');
        rest = newline == std::string_view::npos ? std::string_view() : rest.substr(0, newline + 1);
    }
    // Only lines known to be whole: the first one of a tail that starts mid-file may not be.
    while (!rest.empty()) {
        rest.remove_suffix(1);
        const std::size_t start = rest.rfind('\n');
        if (start == std::string_view::npos && from > 0)
            break;
        std::string_view line = start == std::string_view::npos ? rest : rest.substr(start + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (const auto row = Row(line, false)) {
            extent.EndUs = std::max(extent.StartUs, row->ElapsedUs);
            return extent;
        }
        rest = start == std::string_view::npos ? std::string_view() : rest.substr(0, start + 1);
    }
    // A megabyte at the end without one row: walk the whole file for the last.
    LineReader lines(Path_);
    std::string_view line;
    bool whole = true;
    while (lines.Next(line, whole)) {
        if (whole && !(csv && lines.LineNumber() == 1)) {
            if (const auto row = Row(line, false))
                extent.EndUs = std::max(extent.StartUs, row->ElapsedUs);
        }
    }
    return extent;
}

bool PlotInput::FindJoined()
{
    if (Kind_ == PlotInputKind::Capture || Joined_)
        return false;
    WalkRows([](std::int64_t, const ReadingRow&, bool) { return true; });
    return Joined_;
}

bool PlotInput::StreamLines(PlotSink& sink)
{
    return WalkRows([&](std::int64_t timeUs, const ReadingRow& row, bool restart) {
        if (restart)
            sink.Restart();
        sink.Reading(timeUs, row.Reading);
        return true;
    });
}

std::int64_t PlotInput::Place(Timeline& line, const ReadingRow& row, std::string_view text,
                              std::uint64_t number, bool& restart)
{
    restart = line.LastElapsedUs && row.ElapsedUs < *line.LastElapsedUs;
    if (restart) {
        // Where its UTC time lies after what came before, the recording starts then; else (no
        // UTC time, or a clock set back) a second after the one before, so that the gap between
        // them shows.
        std::int64_t start = line.LastUs + RestartGapUs;
        if (UtcOfZero_ && Kind_ == PlotInputKind::MonitorCsv) {
            const auto withUtc = Row(text, true);
            if (withUtc && withUtc->UtcUs && *withUtc->UtcUs - *UtcOfZero_ > line.LastUs)
                start = *withUtc->UtcUs - *UtcOfZero_;
        }
        line.OffsetUs = start - row.ElapsedUs;
        if (Restarts_++ == 0)
            FirstRestart_ = number;
    }
    line.LastElapsedUs = row.ElapsedUs;
    line.LastUs = row.ElapsedUs + line.OffsetUs;
    // Each recording is at most a century long: only a file made to look like thousands of them
    // gets here, and its times must stay far from overflowing.
    if (line.LastUs > MaxJoinedUs)
        throw ToolError(Path_ + ": line " + std::to_string(number) +
                        ": the recordings joined in it span more than 10000 years");
    return line.LastUs;
}

template <class F>
bool PlotInput::WalkRows(F&& onRow)
{
    const bool csv = Kind_ == PlotInputKind::MonitorCsv;
    LineReader lines(Path_);
    std::string_view line;
    bool whole = true;
    std::uint64_t skipped = 0;
    std::uint64_t firstSkipped = 0;
    Timeline timeline;
    Restarts_ = 0;
    while (lines.Next(line, whole)) {
        const std::uint64_t number = lines.LineNumber();
        if (number == 1) {
            line = WithoutBom(line);
            if (csv)
                continue;
        }
        // A last line without its newline was being written when the file ended.
        if (!whole) {
            NoteCutShortLine();
            break;
        }
        const auto row = Row(line, false);
        if (!row) {
            if (skipped++ == 0)
                firstSkipped = number;
            continue;
        }
        if (!Joined_) {
            if (timeline.LastElapsedUs && row->ElapsedUs < *timeline.LastElapsedUs) {
                // Time goes back: recordings joined in one file, whose time line the first look
                // did not see.
                Joined_ = true;
                return false;
            }
            timeline.LastElapsedUs = row->ElapsedUs;
            if (!onRow(row->ElapsedUs, *row, false))
                return false;
            continue;
        }
        bool restart = false;
        const std::int64_t time = Place(timeline, *row, line, number, restart);
        if (!onRow(time, *row, restart))
            return false;
    }
    if (skipped > 0)
        Note(Path_ + ": skipped " + std::to_string(skipped) +
             (skipped > 1 ? " lines that hold" : " line that holds") +
             " no reading (the first is line " + std::to_string(firstSkipped) + ")");
    if (Restarts_ > 0)
        Note(Path_ + ": time goes back at " +
             (Restarts_ > 1 ? std::to_string(Restarts_) + " lines, the first line "
                            : std::string("line ")) +
             std::to_string(FirstRestart_) +
             " (recordings joined in one file): each is drawn after the one before, with a gap "
             "between");
    return true;
}

} // namespace rv
