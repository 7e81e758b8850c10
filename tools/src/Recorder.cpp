#include "rangeview/tools/Recorder.h"

#include "RawIo.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace rv {

std::string FormatUtcMillis(std::chrono::system_clock::time_point when)
{
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(when);
    const auto day = floor<days>(ms);
    const year_month_day date(day);
    const hh_mm_ss time(ms - day);
    char text[40];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
        static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return text;
}

RecordFile::RecordFile(std::string option, std::string path)
    : Option_(std::move(option)), Path_(std::move(path))
{
    File_ = std::fopen(Path_.c_str(), "wb");
    if (File_ == nullptr) {
        Fail("cannot create");
        return;
    }
    // Large enough that a second at full line rate is a handful of writes.
    std::setvbuf(File_, nullptr, _IOFBF, 64 * 1024);
}

RecordFile::~RecordFile()
{
    if (File_ != nullptr)
        std::fclose(File_);
}

bool RecordFile::Fail(const char* what)
{
    if (Failure_.empty())
        Failure_ = Option_ + " " + Path_ + ": " + what + ": " + std::strerror(errno);
    return false;
}

bool RecordFile::Write(std::span<const std::uint8_t> bytes)
{
    if (Failed())
        return false;
    if (std::fwrite(bytes.data(), 1, bytes.size(), File_) != bytes.size())
        return Fail("cannot write");
    Dirty_ = true;
    return true;
}

bool RecordFile::Sync()
{
    if (Failed())
        return false;
    Dirty_ = false;
    if (!SyncToStorage(File_))
        return Fail("cannot write");
    return true;
}

bool RecordFile::Close()
{
    if (File_ == nullptr)
        return !Failed();
    const bool synced = Sync();
    errno = 0;
    const bool closed = std::fclose(File_) == 0;
    File_ = nullptr;
    if (synced && !closed)
        return Fail("cannot write");
    return synced && closed;
}

Recorder::Recorder(const std::string& csvPath, const std::string& rawPath)
{
    if (!csvPath.empty()) {
        Csv_.emplace("--csv", csvPath);
        Csv_->Write(std::string_view("time_utc,elapsed_ms,distance_mm,mode,mode_name\n"));
    }
    if (!rawPath.empty()) {
        Raw_.emplace("--raw", rawPath);
        Raw_->Write(CaptureFormat::EncodeHeader());
    }
}

void Recorder::Start(Clock::time_point start, std::chrono::system_clock::time_point wallStart)
{
    Start_ = start;
    WallStart_ = wallStart;
    LastSync_ = start;
    Started_ = true;
    // The headers reach the disk at once: a file that cannot take them fails before any data.
    if (Csv_)
        Csv_->Sync();
    if (Raw_)
        Raw_->Sync();
}

void Recorder::Bytes(Clock::time_point when, std::span<const std::uint8_t> bytes)
{
    if (!Raw_ || Raw_->Failed())
        return;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(when - Start_).count();
    const auto head =
        CaptureFormat::EncodeRecordHead(static_cast<std::uint64_t>(std::max<std::int64_t>(us, 0)),
                                        static_cast<std::uint32_t>(bytes.size()));
    if (Raw_->Write(head))
        Raw_->Write(bytes);
}

void Recorder::Reading(Clock::time_point when, std::int64_t elapsedMs,
                       const MeasurementReading& reading)
{
    if (!Csv_ || Csv_->Failed())
        return;
    const auto wall =
        WallStart_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(when - Start_);
    std::string line = FormatUtcMillis(wall);
    line += ',';
    line += std::to_string(elapsedMs);
    line += ',';
    line += std::to_string(reading.Distance);
    line += ',';
    line += std::to_string(reading.Mode);
    line += ',';
    line += ModeName(reading.Mode);
    line += '\n';
    Csv_->Write(std::string_view(line));
}

std::optional<Recorder::Clock::time_point> Recorder::NextSync() const
{
    if (!Started_ || !((Csv_ && Csv_->Dirty()) || (Raw_ && Raw_->Dirty())))
        return std::nullopt;
    return LastSync_ + SyncPeriod;
}

void Recorder::SyncIfDue(Clock::time_point now)
{
    const auto due = NextSync();
    if (!due || now < *due)
        return;
    if (Csv_ && Csv_->Dirty())
        Csv_->Sync();
    if (Raw_ && Raw_->Dirty())
        Raw_->Sync();
    LastSync_ = now;
}

void Recorder::Close()
{
    if (Csv_)
        Csv_->Close();
    if (Raw_)
        Raw_->Close();
}

bool Recorder::Failed() const noexcept
{
    return (Csv_ && Csv_->Failed()) || (Raw_ && Raw_->Failed());
}

std::string Recorder::Failure() const
{
    if (Csv_ && Csv_->Failed())
        return Csv_->Failure();
    if (Raw_ && Raw_->Failed())
        return Raw_->Failure();
    return {};
}

} // namespace rv
