#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/tools/Capture.h"

namespace rv {

// "2026-12-07T12:36:01.123Z": UTC, milliseconds.
std::string FormatUtcMillis(std::chrono::system_clock::time_point when);

// The name of a file of a rotating recording: the path with "-YYYYMMDD-HHMMSS" (UTC) put before
// its extension, and "_2", "_3"... after that for the second, third... file begun in the same
// second ("night.csv" becomes "night-20261207-123601.csv", then "night-20261207-123601_2.csv").
std::string RotatedFileName(std::string_view path, std::chrono::system_clock::time_point start,
                            int clash = 1);

// One output file of a recording, buffered, and handed to storage at least once a second so a
// kill or a power cut loses at most the last second. It is written in whole units (a row of the
// table, a record of the capture): a write that fails midway is cut back to the last whole unit,
// so the file always ends at one. The first failure is kept as a one-line reason ("OPTION FILE:
// cannot write: No space left on device") and everything after it is refused.
class RecordFile {
public:
    // Creates the file, never through a symbolic link and only as a regular file: a new one, or
    // with `replace` an existing regular file emptied. Failed() says whether that worked.
    RecordFile(std::string option, std::string path, bool replace);
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Appends one unit, made of `head` and `rest`.
    bool Write(std::span<const std::uint8_t> head, std::span<const std::uint8_t> rest = {});
    bool Write(std::string_view text)
    {
        return Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
    // Hands everything to storage.
    bool Sync();
    // Syncs and closes.
    bool Close();
    // Closes and removes the file.
    void Discard();

    const std::string& Path() const noexcept { return Path_; }
    bool Failed() const noexcept { return !Failure_.empty(); }
    const std::string& Failure() const noexcept { return Failure_; }
    // True when the creation failed only because a regular file of that name exists.
    bool NameTaken() const noexcept { return NameTaken_; }
    // True when bytes were written since the last sync.
    bool Dirty() const noexcept { return Dirty_; }

private:
    bool Fail(const std::string& what);
    // Hands the buffer to the system, cutting a failed write back to its last whole unit.
    bool Flush();

    std::string Option_;
    std::string Path_;
    int Fd_ = -1;
    std::vector<std::uint8_t> Buffer_;
    std::vector<std::size_t> UnitEnds_; // in Buffer_
    std::uint64_t Size_ = 0; // bytes in the file, all of them whole units
    bool Dirty_ = false;
    bool NameTaken_ = false;
    std::string Failure_;
};

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
class Recorder {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds SyncPeriod{1};
    // How many files begun in the same second get a name of their own.
    static constexpr int MaxClashes = 100;

    // Creates the files (the first of a rotation named by `now`). Check Failure() afterwards: a
    // file that cannot be created is a failure before anything is received.
    explicit Recorder(RecordingOptions options,
                      std::chrono::system_clock::time_point now = std::chrono::system_clock::now());
    // Files of a recording that was never started are removed.
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    bool Active() const noexcept { return !Options_.CsvPath.empty() || !Options_.RawPath.empty(); }
    // Elapsed times, capture times and rotations are counted from here.
    void Start(Clock::time_point start, std::chrono::system_clock::time_point wallStart);

    void Bytes(Clock::time_point when, std::span<const std::uint8_t> bytes);
    void Reading(Clock::time_point when, std::int64_t elapsedMs, const MeasurementReading& reading);

    // When the next sync or rotation is due; none while nothing waits for one.
    std::optional<Clock::time_point> NextDue() const;
    // Rotates and syncs what is due by now.
    void RunDue(Clock::time_point now);
    // Syncs and closes both; the first failure stays in Failure().
    void Close();
    // Closes and removes the files, for a run that ended before anything could be recorded.
    void Discard();

    bool Failed() const noexcept;
    std::string Failure() const;

private:
    void OpenFiles(std::chrono::system_clock::time_point start);
    void RotateIfDue(Clock::time_point when);
    void Keep(const std::optional<RecordFile>& file);

    RecordingOptions Options_;
    std::optional<RecordFile> Csv_;
    std::optional<RecordFile> Raw_;
    Clock::time_point Start_{};
    Clock::time_point FileStart_{}; // capture times count from here
    std::chrono::system_clock::time_point WallStart_{};
    Clock::time_point LastSync_{};
    std::optional<Clock::time_point> NextRotation_;
    bool Started_ = false;
    std::string Failure_; // of a file already closed
};

} // namespace rv
