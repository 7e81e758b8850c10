#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rv {

// One output file of a recording, buffered, and handed to storage at least once a second so a
// kill or a power cut loses at most the last second. It is written beside its name (a hidden
// ".NAME.XXXXXXXX.part" in the same folder) and given the name only once it holds data past its
// header: a run that never gets going leaves nothing behind, and a file it is to replace stays
// whole until then. It is written in whole units (a row of the table, a record of the capture):
// a write that fails midway is cut back to the last whole unit, so the file always ends at one.
// The first failure is kept as a one-line reason ("OPTION FILE: cannot write: No space left on
// device") and everything after it is refused.
class RecordFile {
public:
    // How the file comes by its name.
    enum class Naming {
        Fresh, // the name must be free, now and when the file takes it
        Replace, // a regular file there is replaced when the file takes the name
        Chosen, // the caller chooses a name that is free when the file takes one (Place)
    };
    // Checks the name (with Fresh and Replace: nothing there but, with Replace, a regular file),
    // creates the file beside it and writes `header`. Failed() says whether that worked.
    RecordFile(std::string option, std::string path, Naming naming, std::string_view header);
    RecordFile(std::string option, std::string path, Naming naming,
               std::span<const std::uint8_t> header)
        : RecordFile(std::move(option), std::move(path), naming,
                     std::string_view(reinterpret_cast<const char*>(header.data()), header.size()))
    {
    }
    // Closes; a file that never took its name is removed unless it holds data.
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
    // Gives the file the name `path` (the one it was made for, or a name chosen for it), from
    // wherever it is now; true when it has it. With Fresh and Replace a name that cannot be had
    // is a failure; with Chosen a name in use is the caller's to move on from (false without
    // failure).
    bool Place(const std::string& path);
    // Syncs and closes. A file that never took its name and holds nothing but its header is
    // removed; one that holds data stays where it is (its failure says where).
    bool Close();
    // Closes and removes the file unless it has taken its name.
    void Discard();

    // The name the file has or is to have.
    const std::string& Path() const noexcept { return Path_; }
    bool Placed() const noexcept { return Placed_; }
    // True once the file (or its buffer) holds a unit past its header.
    bool HoldsData() const noexcept { return Size_ + Buffer_.size() > HeaderSize_; }
    // True while the file was created and its header is whole (a failed write may have cut it).
    bool HoldsHeader() const noexcept
    {
        return !Where_.empty() && Size_ + Buffer_.size() >= HeaderSize_;
    }
    bool Failed() const noexcept { return !Failure_.empty(); }
    const std::string& Failure() const noexcept { return Failure_; }
    // True when bytes were written since the last sync.
    bool Dirty() const noexcept { return Dirty_; }

private:
    bool Fail(const std::string& what, const std::string& why);
    // Hands the buffer to the system, cutting a failed write back to its last whole unit.
    bool Flush();

    std::string Option_;
    std::string Path_;
    Naming Naming_;
    std::string Where_; // where the file is now: beside its name until it takes it
    bool Placed_ = false;
    int Fd_ = -1;
    std::vector<std::uint8_t> Buffer_;
    std::vector<std::size_t> UnitEnds_; // in Buffer_
    std::uint64_t Size_ = 0; // bytes in the file, all of them whole units
    std::uint64_t HeaderSize_ = 0;
    bool Dirty_ = false;
    std::string Failure_;
};

} // namespace rv
