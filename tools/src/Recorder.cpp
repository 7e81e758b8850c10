#include "rangeview/tools/Recorder.h"

#include "rangeview/tools/ReadingTable.h"
#include "rangeview/tools/UtcText.h"
#include "RawIo.h"

#include <algorithm>
#include <limits>

namespace rv {

namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

} // namespace

std::string RotatedFileName(std::string_view path, std::chrono::system_clock::time_point start,
                            int clash)
{
    std::string suffix = "-";
    AppendUtc(suffix, UtcLayout::Stamp, SplitUtc(start));
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

Recorder::Recorder(RecordingOptions options, std::chrono::system_clock::time_point now)
    : Options_(std::move(options))
{
    OpenFiles(now);
}

Recorder::~Recorder()
{
    if (Started_)
        Close();
    else
        Discard();
}

void Recorder::OpenFiles(std::chrono::system_clock::time_point start)
{
    const bool rotating = Options_.RotateEvery > Clock::duration::zero();
    const auto naming = rotating             ? RecordFile::Naming::Chosen
                        : Options_.Overwrite ? RecordFile::Naming::Replace
                                             : RecordFile::Naming::Fresh;
    const auto name = [&](const std::string& path) {
        return rotating ? RotatedFileName(path, start, 1) : path;
    };
    FilesNamedBy_ = start;
    Placed_ = false;
    Csv_.reset();
    Raw_.reset();
    if (!Options_.CsvPath.empty()) {
        std::string header;
        if (Options_.CsvByteOrderMark)
            header = ByteOrderMark;
        header += ReadingTable::Header;
        header += '\n';
        Csv_.emplace("--csv", name(Options_.CsvPath), naming, header);
        if (Csv_->Failed())
            return;
    }
    if (!Options_.RawPath.empty())
        Raw_.emplace("--raw", name(Options_.RawPath), naming, CaptureFormat::EncodeHeader());
}

void Recorder::PlaceFiles()
{
    if (Placed_ || !((Csv_ && Csv_->HoldsData()) || (Raw_ && Raw_->HoldsData())))
        return;
    Placed_ = true;
    // A table without rows beside a capture that has bytes still says that none were read; a
    // file whose header a failed write cut is not worth a name.
    std::vector<RecordFile*> files;
    for (auto* file : {&Csv_, &Raw_}) {
        if (*file && (*file)->HoldsHeader())
            files.push_back(&**file);
    }
    if (Options_.RotateEvery > Clock::duration::zero()) {
        PlaceRotated(files);
        return;
    }
    for (RecordFile* file : files)
        file->Place(file->Path());
}

void Recorder::PlaceRotated(const std::vector<RecordFile*>& files)
{
    const std::string* bases[] = {&Options_.CsvPath, &Options_.RawPath};
    const auto nameOf = [&](const RecordFile* file, int clash) {
        return RotatedFileName(*bases[Raw_ && file == &*Raw_ ? 1 : 0], FilesNamedBy_, clash);
    };
    // The files begun earlier in the same second have the first names.
    int clash = 1;
    if (nameOf(files.front(), 1) == LastRotatedName_)
        clash = LastClash_ + 1;
    std::string taken; // the first name found in someone else's hands
    std::vector<std::string> names(files.size());
    for (;; ++clash) {
        if (clash == std::numeric_limits<int>::max()) {
            Failure_ = "--rotate: no free name is left for " + nameOf(files.front(), 1) +
                       "; the recording is kept beside it";
            return;
        }
        // A look at all names first, so that no file is moved on for its partner's name alone.
        bool free = true;
        for (std::size_t i = 0; i < files.size() && free; ++i) {
            names[i] = nameOf(files[i], clash);
            if (KindOfName(names[i]) != NameKind::Absent) {
                if (taken.empty())
                    taken = names[i];
                free = false;
            }
        }
        // What is taken between the look and the move moves the files on all the same.
        for (std::size_t i = 0; i < files.size() && free; ++i) {
            if (!files[i]->Place(names[i])) {
                if (files[i]->Failed())
                    return;
                if (taken.empty())
                    taken = names[i];
                free = false;
            }
        }
        if (free)
            break;
    }
    LastRotatedName_ = nameOf(files.front(), 1);
    LastClash_ = clash;
    if (!taken.empty() && Notes_) {
        std::string line = "--rotate: " + taken + " is taken; this period is recorded as ";
        for (std::size_t i = 0; i < files.size(); ++i)
            line += (i > 0 ? " and " : "") + files[i]->Path();
        Notes_(line);
    }
}

void Recorder::CloseFiles()
{
    for (auto* file : {&Csv_, &Raw_}) {
        if (*file)
            (*file)->Sync();
    }
    PlaceFiles();
    for (auto* file : {&Csv_, &Raw_}) {
        if (*file)
            (*file)->Close();
        Keep(*file);
    }
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
    CloseFiles();
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
    Raw_->Write(CaptureFormat::EncodeRecordHead(when - FileStart_, bytes.size()), bytes);
}

void Recorder::Reading(Clock::time_point when, std::int64_t elapsedMs,
                       const MeasurementReading& reading)
{
    RotateIfDue(when);
    if (!Csv_ || Csv_->Failed())
        return;
    const auto wall =
        WallStart_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(when - Start_);
    Row_.clear();
    AppendTableRow(Row_, wall, elapsedMs, reading);
    Csv_->Write(std::string_view(Row_));
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
    // What was just synced is under its name from now on.
    PlaceFiles();
}

void Recorder::Close()
{
    CloseFiles();
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
