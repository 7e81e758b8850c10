#include "rangeview/tools/RecordFile.h"

#include "RawIo.h"

#include <algorithm>

namespace rv {

namespace {

constexpr std::size_t BufferSize = 64 * 1024;

} // namespace

RecordFile::RecordFile(std::string option, std::string path, Naming naming, std::string_view header)
    : Option_(std::move(option)), Path_(std::move(path)), Naming_(naming)
{
    // Nothing at the name is touched now: it is only looked at, so that a run that would be
    // refused there later is refused before it begins.
    if (naming != Naming::Chosen) {
        const NameKind kind = KindOfName(Path_);
        if (kind == NameKind::Other) {
            Failure_ = Option_ + " " + Path_ + ": cannot create: not a regular file";
            return;
        }
        if (kind == NameKind::RegularFile && naming == Naming::Fresh) {
            Failure_ = Option_ + " " + Path_ +
                       ": cannot create: the file exists (--overwrite replaces it)";
            return;
        }
    }
    PendingFile file = CreateBeside(Path_);
    if (file.Fd < 0) {
        Fail("cannot create", LastFailureText());
        return;
    }
    Fd_ = file.Fd;
    Where_ = std::move(file.Path);
    Buffer_.reserve(BufferSize);
    Write(header);
    HeaderSize_ = header.size();
}

RecordFile::~RecordFile()
{
    if (Fd_ < 0)
        return;
    CloseDescriptor(Fd_);
    if (!Placed_ && !HoldsData())
        RemoveFile(Where_);
}

bool RecordFile::Fail(const std::string& what, const std::string& why)
{
    if (Failure_.empty())
        Failure_ = Option_ + " " + Path_ + ": " + what + ": " + why;
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
    const std::string why = LastFailureText();
    // What made it is kept up to its last whole unit; a part of one is cut off again.
    const auto whole = std::upper_bound(UnitEnds_.begin(), UnitEnds_.end(), written);
    const std::size_t keep = whole == UnitEnds_.begin() ? 0 : *std::prev(whole);
    if (keep < written)
        CutTo(Fd_, Size_ + keep);
    Size_ += keep;
    Buffer_.clear();
    UnitEnds_.clear();
    return Fail("cannot write", why);
}

bool RecordFile::Sync()
{
    if (Failed())
        return false;
    Dirty_ = false;
    if (!Flush())
        return false;
    if (!SyncToStorage(Fd_))
        return Fail("cannot write", LastFailureText());
    return true;
}

bool RecordFile::Place(const std::string& path)
{
    if (Fd_ < 0 && Where_.empty())
        return false;
    if (Placed_ && Where_ == path)
        return true;
    // Never over what is there, except a regular file that is to be replaced.
    switch (PlaceFile(Where_, path, Naming_ == Naming::Replace)) {
    case PlaceOutcome::Placed:
        Where_ = path;
        Path_ = path;
        Placed_ = true;
        return true;
    case PlaceOutcome::NameTaken:
        if (Naming_ == Naming::Chosen)
            return false;
        Fail("cannot take the name", "the file exists (--overwrite replaces it); the recording "
                                     "is kept as " +
                                         Where_);
        return false;
    case PlaceOutcome::NotRegular:
        if (Naming_ == Naming::Chosen)
            return false;
        Fail("cannot take the name", "not a regular file; the recording is kept as " + Where_);
        return false;
    case PlaceOutcome::Failed:
        break;
    }
    // "Access is denied." goes on as "Access is denied; ...".
    std::string why = LastFailureText();
    if (!why.empty() && why.back() == '.')
        why.pop_back();
    Fail("cannot take the name", why + "; the recording is kept as " + Where_);
    return false;
}

bool RecordFile::Close()
{
    if (Fd_ < 0)
        return !Failed();
    const bool synced = Sync();
    CloseDescriptor(Fd_);
    Fd_ = -1;
    if (!Placed_ && !HoldsData())
        RemoveFile(Where_);
    return synced;
}

void RecordFile::Discard()
{
    if (Fd_ < 0)
        return;
    CloseDescriptor(Fd_);
    Fd_ = -1;
    if (!Placed_)
        RemoveFile(Where_);
}

} // namespace rv
