#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "rangeview/protocol/MeasurementFrame.h"
#include "rangeview/tools/Capture.h"

namespace rv {

// "2026-12-07T12:36:01.123Z": UTC, milliseconds.
std::string FormatUtcMillis(std::chrono::system_clock::time_point when);

// One output file of a recording, buffered, and handed to storage at least once a second so a
// kill or a power cut loses at most the last second. The first failure is kept as a one-line
// reason ("FILE: cannot write: No space left on device") and everything after it is refused.
class RecordFile {
public:
    // Opens (creating or emptying) the file; Failed() says whether that worked.
    RecordFile(std::string option, std::string path);
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    bool Write(std::span<const std::uint8_t> bytes);
    bool Write(std::string_view text)
    {
        return Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
    // Hands everything to storage; also records a failure of the stream's own writes.
    bool Sync();
    // Syncs and closes.
    bool Close();

    bool Failed() const noexcept { return !Failure_.empty(); }
    const std::string& Failure() const noexcept { return Failure_; }
    // True when bytes were written since the last sync.
    bool Dirty() const noexcept { return Dirty_; }

private:
    bool Fail(const char* what);

    std::string Option_;
    std::string Path_;
    std::FILE* File_ = nullptr;
    bool Dirty_ = false;
    std::string Failure_;
};

// `monitor --csv` and `--raw`: a reading table and a raw capture, written as the data arrives.
class Recorder {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds SyncPeriod{1};

    // Either path may be empty (no such file). Check Failure() afterwards: a file that cannot
    // be created is a failure before anything is received.
    Recorder(const std::string& csvPath, const std::string& rawPath);

    bool Active() const noexcept { return Csv_ || Raw_; }
    // Elapsed times are counted from here.
    void Start(Clock::time_point start, std::chrono::system_clock::time_point wallStart);

    void Bytes(Clock::time_point when, std::span<const std::uint8_t> bytes);
    void Reading(Clock::time_point when, std::int64_t elapsedMs, const MeasurementReading& reading);

    // When the next sync is due; none while nothing waits for it.
    std::optional<Clock::time_point> NextSync() const;
    // Syncs what is due by now.
    void SyncIfDue(Clock::time_point now);
    // Syncs and closes both; the first failure stays in Failure().
    void Close();

    bool Failed() const noexcept;
    std::string Failure() const;

private:
    std::optional<RecordFile> Csv_;
    std::optional<RecordFile> Raw_;
    Clock::time_point Start_{};
    std::chrono::system_clock::time_point WallStart_{};
    Clock::time_point LastSync_{};
    bool Started_ = false;
};

} // namespace rv
