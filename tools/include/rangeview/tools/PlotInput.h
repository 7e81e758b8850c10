#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/tools/ReadingTable.h"

namespace rv {

// What a recording to plot yields as it is read, in file order. Times are microseconds since
// the recording started (the port's opening).
class PlotSink {
public:
    virtual ~PlotSink() = default;
    // A reading that arrived at timeUs.
    virtual void Reading(std::int64_t timeUs, const MeasurementReading& reading) = 0;
    // Frames dropped for a wrong checksum and bytes skipped outside any frame in what arrived
    // at timeUs, since the last reading or report.
    virtual void Lost(std::int64_t timeUs, std::uint64_t checksumDrops,
                      std::uint64_t skippedBytes) = 0;
    // A new recording starts with the next reading (time went back in the file): it does not
    // join the one before.
    virtual void Restart() = 0;
};

enum class PlotInputKind {
    Capture, // monitor --raw
    MonitorCsv, // monitor --csv: the reading table (ReadingTable.h)
    Readings, // the lines monitor and decode --capture print (ReadingLine)
};

// The stretch a recording covers, found without decoding it.
struct PlotExtent {
    std::int64_t StartUs = 0;
    std::int64_t EndUs = 0;
    // The UTC time of elapsed time 0, in microseconds since 1970, for a file with UTC times.
    std::optional<std::int64_t> UtcOfZeroUs;
};

// A capture or a monitor CSV, told apart by its content, read as a stream: Scan finds the
// stretch it covers, Stream hands over its readings. Neither keeps more than a buffer, however
// long the file. Throws ToolError with a one-line reason for a file that cannot be read, is
// empty, is neither kind, or is no file at all (a pipe cannot be read twice).
//
// A capture covers the time from 0 (its times count from the port's opening) to its last
// record; a CSV from its first row to its last. Where a CSV's time goes back (recordings joined
// in one file), each later recording goes on one time line after the one before: at its UTC
// time where that lies later, else a second after it; a note tells. Both end at their last
// whole record or line: a file cut short (a kill while writing) gives a note, and so does a
// capture's damaged record, where it ends. A CSV line that holds no reading is skipped with a
// note.
class PlotInput {
public:
    explicit PlotInput(std::string path);

    PlotInputKind Kind() const noexcept { return Kind_; }
    PlotExtent Scan();
    // False when the file turned out to hold recordings joined in one file, which the extent
    // Scan gave did not know of (it looks at a CSV's first and last rows only): Scan again for
    // the joined time line, and Stream again.
    [[nodiscard]] bool Stream(PlotSink& sink);
    // Whether the lines hold recordings joined in one file, found by a walk through them where
    // Scan only looked at the ends: for a window that seems to lie beyond the file. Scan again
    // after true.
    bool FindJoined();
    // One-line notes for the user gathered so far (each told once).
    std::vector<std::string> TakeNotes();

private:
    // A row of the file: nullopt for a line that holds none.
    std::optional<ReadingRow> Row(std::string_view line, bool withUtc) const;
    void Note(std::string text);
    void NoteCutShortLine();
    PlotExtent ScanCapture();
    PlotExtent ScanLines();
    void StreamCapture(PlotSink& sink);
    bool StreamLines(PlotSink& sink);

    // The rows of a CSV or readings file with their times, through onRow(timeUs, row, restart);
    // false (from onRow too) when the walk stopped early.
    template <class F>
    bool WalkRows(F&& onRow);
    // The time line of recordings joined in one file.
    struct Timeline {
        std::optional<std::int64_t> LastElapsedUs;
        std::int64_t OffsetUs = 0; // of the current recording
        std::int64_t LastUs = 0;
    };
    std::int64_t Place(Timeline& line, const ReadingRow& row, std::string_view text,
                       std::uint64_t number, bool& restart);

    std::string Path_;
    PlotInputKind Kind_ = PlotInputKind::Capture;
    bool Joined_ = false; // time goes back somewhere in the lines
    std::optional<std::int64_t> UtcOfZero_;
    std::uint64_t Restarts_ = 0;
    std::uint64_t FirstRestart_ = 0; // its line
    std::vector<std::string> Notes_;
    std::vector<std::string> Told_;
};

} // namespace rv
