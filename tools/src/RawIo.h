#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace rv {

// Unbuffered reads and writes on the C runtime's descriptors, for input that must be handled as
// it arrives and for lines that other threads must not interleave with. LastFailureText() says
// why a call failed.
inline constexpr int StandardInputFd = 0;
inline constexpr int StandardErrorFd = 2;

// Opens a file for reading bytes as they are; -1 on failure.
int OpenForReading(const std::string& path);
void CloseDescriptor(int fd);
// Reads what is there, waiting for at least one byte: the count, 0 at the end, -1 on failure.
long ReadSome(int fd, std::span<std::uint8_t> buffer);
// Moves the position of a file open for reading to offset; false on failure.
bool SeekTo(int fd, std::uint64_t offset);
// The size of the file open on fd; -1 on failure.
std::int64_t FileSize(int fd);
// Writes as much of bytes as the system takes and returns the count; below bytes.size(),
// LastFailureText() says why it stopped.
std::size_t WriteUpTo(int fd, std::span<const std::uint8_t> bytes);
// Writes all of text; false on failure.
bool WriteAll(int fd, std::string_view text);
// Makes standard input deliver bytes unchanged.
void UseBinaryStandardInput();

// A file for a recording. Fd is -1 when it could not be created: NotRegular when the name is
// taken by something other than a regular file (a link, a device, a folder, a pipe), else
// errno says why (EEXIST: a regular file is there and replacing was not asked for).
struct NewFile {
    int Fd = -1;
    bool NotRegular = false;
};
// Creates path for writing, never through a symbolic link and never anything but a regular
// file: a new file only, created exclusively; with replace an existing regular file is
// emptied instead.
NewFile CreateForWriting(const std::string& path, bool replace);
// A file written beside the name it is to have, and given that name only once it is whole, so
// that nothing at the name is lost to a write that fails or a run that never starts.
struct PendingFile {
    int Fd = -1; // -1: not created, LastFailureText() says why
    std::string Path;
};
// Creates a new, empty regular file in the folder of path, under a hidden name of its own
// (".NAME.XXXXXXXX.part").
PendingFile CreateBeside(const std::string& path);

enum class PlaceOutcome {
    Placed,
    NameTaken, // a regular file has the name and replacing was not asked for
    NotRegular, // the name is a link, a folder, a device or a pipe: never replaced
    Failed, // LastFailureText() says why
};
// Gives the file at from the name to, in one step, and hands the new name to storage. Without
// replace the name must be free; with replace a regular file there is replaced, but never a link
// (not even its target) or anything else.
PlaceOutcome PlaceFile(const std::string& from, const std::string& to, bool replace);
// Removes the file at path (not what a link there points to); false on failure.
bool RemoveFile(const std::string& path);

// What a name holds, looked at without following a link.
enum class NameKind { Absent, RegularFile, Other };
NameKind KindOfName(const std::string& path);
// Whether a and b are one file: the same file where both exist, or the same name in the same
// folder where they do not yet.
bool SameFile(const std::string& a, const std::string& b);

// The system's words for why the last failed call of this file failed ("No space left on
// device"), on the thread that made it.
std::string LastFailureText();

// Cuts the file back to its first size bytes; false on failure.
bool CutTo(int fd, std::uint64_t size);
// Asks the system to put what was written on the storage, so that a power cut keeps it; false
// on failure.
bool SyncToStorage(int fd);

// Whether `--csv` files start with a UTF-8 byte-order mark unless told otherwise: yes where
// Excel reads a file without one in the ANSI code page.
bool CsvByteOrderMarkByDefault() noexcept;

} // namespace rv
