#include "rangeview/tools/Recorder.h"

#include "RawIo.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace rv {

namespace {

constexpr std::size_t BufferSize = 64 * 1024;
constexpr std::string_view CsvHeader = "time_utc,elapsed_ms,distance_mm,mode,mode_name\n";
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

struct UtcParts {
    int Year;
    unsigned Month, Day;
    int Hours, Minutes, Seconds, Millis;
};

UtcParts SplitUtc(std::chrono::system_clock::time_point when)
{
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(when);
    const auto day = floor<days>(ms);
    const year_month_day date(day);
    const hh_mm_ss time(ms - day);
    return {static_cast<int>(date.year()),
            static_cast<unsigned>(date.month()),
            static_cast<unsigned>(date.day()),
            static_cast<int>(time.hours().count()),
            static_cast<int>(time.minutes().count()),
            static_cast<int>(time.seconds().count()),
            static_cast<int>(time.subseconds().count())};
}

} // namespace

std::string FormatUtcMillis(std::chrono::system_clock::time_point when)
{
    const UtcParts t = SplitUtc(when);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", t.Year, t.Month, t.Day,
                  t.Hours, t.Minutes, t.Seconds, t.Millis);
    return text;
}

std::string RotatedFileName(std::string_view path, std::chrono::system_clock::time_point start,
                            int clash)
{
    const UtcParts t = SplitUtc(start);
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "-%04d%02u%02u-%02d%02d%02d", t.Year, t.Month, t.Day,
                  t.Hours, t.Minutes, t.Seconds);
    std::string suffix = stamp;
    if (clash > 1)
        suffix += "_" + std::to_string(clash); // sorts after the first of its second
    // The extension is the last dot's part of the file's own name, unless that name starts
    // with it (".csv" has none).
    const auto nameStart = path.find_last_of("/\\") + 1; // npos + 1 == 0
    auto dot = path.rfind('.');
    if (dot == std::string_view::npos || dot <= nameStart)
        dot = path.size();
    return std::string(path.substr(0, dot)) + suffix + std::string(path.substr(dot));
}

RecordFile::RecordFile(std::string option, std::string path, bool replace)
    : Option_(std::move(option)), Path_(std::move(path))
{
    const NewFile file = CreateForWriting(Path_, replace);
    if (file.NotRegular) {
        Failure_ = Option_ + " " + Path_ + ": cannot create: not a regular file";
        return;
    }
    if (file.Fd < 0) {
        if (errno == EEXIST) {
            NameTaken_ = true;
            Failure_ = Option_ + " " + Path_ +
                       ": cannot create: the file exists (--overwrite replaces it)";
            return;
        }
        Fail("cannot create");
        return;
    }
    Fd_ = file.Fd;
    Buffer_.reserve(BufferSize);
}

RecordFile::~RecordFile()
{
    CloseDescriptor(Fd_);
}

bool RecordFile::Fail(const std::string& what)
{
    if (Failure_.empty())
        Failure_ = Option_ + " " + Path_ + ": " + what + ": " + std::strerror(errno);
    return false;
}

bool RecordFile::Write(std::span<const std::uint8_t> head, std::span<const std::uint8_t> rest)
{
    if (Failed())
        return false;
    Buffer_.insert(Buffer_.end(), head.begin(), head.end());
    Buffer_.insert(Buffer_.end(), rest.begin(), rest.end());
    UnitEnds_.push_back(Buffer_.size());
    Dirty_ = true;
    return Buffer_.size() < BufferSize || Flush();
}

bool RecordFile::Flush()
{
    if (Buffer_.empty())
        return true;
    const std::size_t written = WriteUpTo(Fd_, Buffer_);
    if (written == Buffer_.size()) {
        Size_ += written;
        Buffer_.clear();
        UnitEnds_.clear();
        return true;
    }
    const int error = errno;
    // What made it is kept up to its last whole unit; a part of one is cut off again.
    const auto whole = std::upper_bound(UnitEnds_.begin(), UnitEnds_.end(), written);
    const std::size_t keep = whole == UnitEnds_.begin() ? 0 : *std::prev(whole);
    if (keep < written)
        CutTo(Fd_, Size_ + keep);
    Size_ += keep;
    Buffer_.clear();
    UnitEnds_.clear();
    errno = error;
    return Fail("cannot write");
}

bool RecordFile::Sync()
{
    if (Failed())
        return false;
    Dirty_ = false;
    if (!Flush())
        return false;
    if (!SyncToStorage(Fd_))
        return Fail("cannot write");
    return true;
}

bool RecordFile::Close()
{
    if (Fd_ < 0)
        return !Failed();
    const bool synced = Sync();
    CloseDescriptor(Fd_);
    Fd_ = -1;
    return synced;
}

void RecordFile::Discard()
{
    if (Fd_ < 0)
        return;
    CloseDescriptor(Fd_);
    Fd_ = -1;
    std::remove(Path_.c_str());
}

Recorder::Recorder(RecordingOptions options, std::chrono::system_clock::time_point now)
    : Options_(std::move(options))
{
    OpenFiles(now);
}

Recorder::~Recorder()
{
    if (!Started_)
        Discard();
}

void Recorder::OpenFiles(std::chrono::system_clock::time_point start)
{
    const bool rotating = Options_.RotateEvery > Clock::duration::zero();
    const auto name = [&](const std::string& path, int clash) {
        return rotating ? RotatedFileName(path, start, clash) : path;
    };
    // A table and its capture share a name; a name taken by either moves both to the next.
    for (int clash = 1; clash <= MaxClashes; ++clash) {
        const bool retry = rotating && clash < MaxClashes;
        Csv_.reset();
        Raw_.reset();
        if (!Options_.CsvPath.empty()) {
            Csv_.emplace("--csv", name(Options_.CsvPath, clash), Options_.Overwrite);
            if (Csv_->NameTaken() && retry)
                continue;
            if (Csv_->Failed())
                return;
        }
        if (!Options_.RawPath.empty()) {
            Raw_.emplace("--raw", name(Options_.RawPath, clash), Options_.Overwrite);
            if (Raw_->NameTaken() && retry) {
                if (Csv_)
                    Csv_->Discard();
                continue;
            }
            if (Raw_->Failed())
                return;
        }
        break;
    }
    if (Csv_) {
        std::string header;
        if (Options_.CsvByteOrderMark)
            header = ByteOrderMark;
        header += CsvHeader;
        Csv_->Write(std::string_view(header));
    }
    if (Raw_)
        Raw_->Write(CaptureFormat::EncodeHeader());
}

void Recorder::Start(Clock::time_point start, std::chrono::system_clock::time_point wallStart)
{
    Start_ = start;
    FileStart_ = start;
    WallStart_ = wallStart;
    LastSync_ = start;
    Started_ = true;
    if (Options_.RotateEvery > Clock::duration::zero())
        NextRotation_ = start + Options_.RotateEvery;
    // The headers reach the disk at once: a file that cannot take them fails before any data.
    if (Csv_)
        Csv_->Sync();
    if (Raw_)
        Raw_->Sync();
}

void Recorder::Keep(const std::optional<RecordFile>& file)
{
    if (file && file->Failed() && Failure_.empty())
        Failure_ = file->Failure();
}

void Recorder::RotateIfDue(Clock::time_point when)
{
    if (!NextRotation_ || when < *NextRotation_ || Failed())
        return;
    // A loop that was held up past several periods begins one file, named by the last period
    // it crossed; the periods stay on the grid laid from the start.
    Clock::time_point begin = *NextRotation_;
    while (begin + Options_.RotateEvery <= when)
        begin += Options_.RotateEvery;
    NextRotation_ = begin + Options_.RotateEvery;
    for (auto* file : {&Csv_, &Raw_}) {
        if (*file)
            (*file)->Close();
        Keep(*file);
    }
    if (Failed())
        return;
    FileStart_ = begin;
    OpenFiles(WallStart_ +
              std::chrono::duration_cast<std::chrono::system_clock::duration>(begin - Start_));
}

void Recorder::Bytes(Clock::time_point when, std::span<const std::uint8_t> bytes)
{
    RotateIfDue(when);
    if (!Raw_ || Raw_->Failed())
        return;
    const auto us =
        std::chrono::duration_cast<std::chrono::microseconds>(when - FileStart_).count();
    const auto head =
        CaptureFormat::EncodeRecordHead(static_cast<std::uint64_t>(std::max<std::int64_t>(us, 0)),
                                        static_cast<std::uint32_t>(bytes.size()));
    Raw_->Write(head, bytes);
}

void Recorder::Reading(Clock::time_point when, std::int64_t elapsedMs,
                       const MeasurementReading& reading)
{
    RotateIfDue(when);
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

std::optional<Recorder::Clock::time_point> Recorder::NextDue() const
{
    if (!Started_ || Failed())
        return std::nullopt;
    std::optional<Clock::time_point> due = NextRotation_;
    if ((Csv_ && Csv_->Dirty()) || (Raw_ && Raw_->Dirty()))
        due = due ? std::min(*due, LastSync_ + SyncPeriod) : LastSync_ + SyncPeriod;
    return due;
}

void Recorder::RunDue(Clock::time_point now)
{
    if (!Started_)
        return;
    RotateIfDue(now);
    const bool csv = Csv_ && Csv_->Dirty();
    const bool raw = Raw_ && Raw_->Dirty();
    if ((!csv && !raw) || now < LastSync_ + SyncPeriod)
        return;
    if (csv)
        Csv_->Sync();
    if (raw)
        Raw_->Sync();
    LastSync_ = now;
}

void Recorder::Close()
{
    for (auto* file : {&Csv_, &Raw_}) {
        if (*file)
            (*file)->Close();
        Keep(*file);
    }
}

void Recorder::Discard()
{
    for (auto* file : {&Csv_, &Raw_}) {
        Keep(*file);
        if (*file)
            (*file)->Discard();
    }
}

bool Recorder::Failed() const noexcept
{
    return !Failure_.empty() || (Csv_ && Csv_->Failed()) || (Raw_ && Raw_->Failed());
}

std::string Recorder::Failure() const
{
    if (!Failure_.empty())
        return Failure_;
    if (Csv_ && Csv_->Failed())
        return Csv_->Failure();
    if (Raw_ && Raw_->Failed())
        return Raw_->Failure();
    return {};
}

} // namespace rv
