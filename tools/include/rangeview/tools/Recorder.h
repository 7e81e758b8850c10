#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/tools/Capture.h"
#include "rangeview/tools/RecordFile.h"

namespace rv {

// The name of a file of a rotating recording: the path with "-" and its start as
// UtcLayout::Stamp spells it put before its extension, and "_2", "_3"... after that for the
// second, third... file begun in the same second ("night.csv" becomes
// "night-20261207-123601.csv", then "night-20261207-123601_2.csv").
std::string RotatedFileName(std::string_view path, std::chrono::system_clock::time_point start,
                            int clash = 1);

// What `monitor` records and how.
struct RecordingOptions {
    std::string CsvPath; // empty: no reading table
    std::string RawPath; // empty: no capture
    bool Overwrite = false; // replace existing files instead of refusing them
    bool CsvByteOrderMark = false; // start each table with the UTF-8 byte-order mark
    // Begin new files this often, named by their start (RotatedFileName); zero: never.
    std::chrono::steady_clock::duration RotateEvery{};
};

// `monitor --csv` and `--raw`: a reading table and a raw capture, written as the data arrives.
// Both take their names together, at the first sync after data arrived; files of a rotation
// whose names are taken move on to the next free "_N" name together.
class Recorder {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds SyncPeriod{1};

    // Creates the files (the first of a rotation named by `now`). Check Failure() afterwards: a
    // file that cannot be created is a failure before anything is received.
    explicit Recorder(RecordingOptions options,
                      std::chrono::system_clock::time_point now = std::chrono::system_clock::now());
    // Files of a recording that was never started are removed; a started one is closed.
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    bool Active() const noexcept { return !Options_.CsvPath.empty() || !Options_.RawPath.empty(); }
    // Where a line about the recording goes that is no failure (a rotation's name was taken).
    void SetNotes(std::function<void(const std::string&)> notes) { Notes_ = std::move(notes); }
    // Elapsed times, capture times and rotations are counted from here.
    void Start(Clock::time_point start, std::chrono::system_clock::time_point wallStart);

    void Bytes(Clock::time_point when, std::span<const std::uint8_t> bytes);
    void Reading(Clock::time_point when, std::int64_t elapsedMs, const MeasurementReading& reading);

    // When the next sync or rotation is due; none while nothing waits for one.
    std::optional<Clock::time_point> NextDue() const;
    // Rotates and syncs what is due by now.
    void RunDue(Clock::time_point now);
    // Syncs both, gives them their names if they hold data (else removes them) and closes them;
    // the first failure stays in Failure().
    void Close();
    // Closes and removes the files, for a run that ended before anything could be recorded.
    void Discard();

    bool Failed() const noexcept;
    std::string Failure() const;

private:
    void OpenFiles(std::chrono::system_clock::time_point start);
    void RotateIfDue(Clock::time_point when);
    // Gives the files their names once either holds data.
    void PlaceFiles();
    void PlaceRotated(const std::vector<RecordFile*>& files);
    void CloseFiles();
    void Keep(const std::optional<RecordFile>& file);

    RecordingOptions Options_;
    std::optional<RecordFile> Csv_;
    std::optional<RecordFile> Raw_;
    Clock::time_point Start_{};
    Clock::time_point FileStart_{}; // capture times count from here
    std::chrono::system_clock::time_point WallStart_{};
    Clock::time_point LastSync_{};
    std::optional<Clock::time_point> NextRotation_;
    std::chrono::system_clock::time_point FilesNamedBy_{}; // the start in a rotation's names
    bool Placed_ = false; // the current files have taken their names
    // The last names a rotation took ("_N" of the first): the next files begun in the same
    // second go on from there.
    std::string LastRotatedName_;
    int LastClash_ = 0;
    bool Started_ = false;
    std::string Failure_; // of a file already closed
    std::string Row_; // the table's row being written, its room kept
    std::function<void(const std::string&)> Notes_;
};

} // namespace rv
