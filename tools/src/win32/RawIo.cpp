#include "RawIo.h"

#include "ConsoleText.h"
#include "rangeview/common/SystemErrorText.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace rv {

namespace {

// errno for what CreateFileA and its companions report, for callers that test it; the words
// come from the code itself (LastFailureText).
int ErrnoOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    default:
        return EIO;
    }
}

// Why the last failed call of this file failed, on this thread: the system's code where the
// system gave one, else the C runtime's errno.
struct Failure {
    DWORD Code = 0;
    int Errno = 0;
};
thread_local Failure Last;

// A Win32 call failed with code.
void Failed(DWORD code)
{
    Last = {code, 0};
    errno = ErrnoOf(code);
}

// A C runtime call failed: errno, and the system's code behind it when the runtime kept one
// (_doserrno, cleared before the call so that an older one cannot stand in).
void RuntimeFailed()
{
    Last = {static_cast<DWORD>(_doserrno), errno};
}

// A failure the runtime reports with errno alone.
void FailedWithErrno(int error)
{
    Last = {0, error};
    errno = error;
}

// A plain file on a disk: not a device (NUL, COM3), a pipe, a folder or a reparse point (a
// symbolic link or a junction).
bool IsRegularFile(HANDLE handle)
{
    if (::GetFileType(handle) != FILE_TYPE_DISK)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info))
        return false;
    return (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

} // namespace

int OpenForReading(const std::string& path)
{
    _doserrno = 0;
    const int fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0)
        RuntimeFailed();
    return fd;
}

void CloseDescriptor(int fd)
{
    if (fd >= 0)
        ::_close(fd);
}

long ReadSome(int fd, std::span<std::uint8_t> buffer)
{
    const auto size = static_cast<unsigned>(std::min<std::size_t>(buffer.size(), INT_MAX));
    _doserrno = 0;
    const int got = ::_read(fd, buffer.data(), size);
    if (got < 0)
        RuntimeFailed();
    return got;
}

bool SeekTo(int fd, std::uint64_t offset)
{
    _doserrno = 0;
    if (::_lseeki64(fd, static_cast<__int64>(offset), SEEK_SET) >= 0)
        return true;
    RuntimeFailed();
    return false;
}

std::int64_t FileSize(int fd)
{
    _doserrno = 0;
    const __int64 size = ::_filelengthi64(fd);
    if (size < 0)
        RuntimeFailed();
    return size;
}

std::size_t WriteUpTo(int fd, std::span<const std::uint8_t> bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto size =
            static_cast<unsigned>(std::min<std::size_t>(bytes.size() - done, INT_MAX));
        _doserrno = 0;
        const int n = ::_write(fd, bytes.data() + done, size);
        if (n < 0) {
            RuntimeFailed();
            break;
        }
        if (n == 0) {
            Failed(ERROR_DISK_FULL);
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool WriteAll(int fd, std::string_view text)
{
    if (WriteConsoleText(fd, text))
        return true;
    return WriteUpTo(fd, std::span(reinterpret_cast<const std::uint8_t*>(text.data()),
                                   text.size())) == text.size();
}

void UseBinaryStandardInput()
{
    ::_setmode(StandardInputFd, _O_BINARY);
}

NewFile CreateForWriting(const std::string& path, bool replace)
{
    // CREATE_NEW fails on any existing name; OPEN_ALWAYS with FILE_FLAG_OPEN_REPARSE_POINT opens
    // a link itself rather than its target, so that the check below refuses it.
    const HANDLE handle = ::CreateFileA(
        path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, replace ? OPEN_ALWAYS : CREATE_NEW,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
            return {-1, true};
        Failed(error);
        return {};
    }
    if (!IsRegularFile(handle)) {
        ::CloseHandle(handle);
        return {-1, true};
    }
    if (replace && !::SetEndOfFile(handle)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(handle);
        Failed(error);
        return {};
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        FailedWithErrno(EMFILE);
        return {};
    }
    return {fd, false};
}

namespace {

std::pair<std::string, std::string> SplitName(const std::string& path)
{
    const auto slash = path.find_last_of("/\\:");
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

bool IsLinkOrFolder(DWORD attributes)
{
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0;
}

} // namespace

PendingFile CreateBeside(const std::string& path)
{
    auto [folder, name] = SplitName(path);
    if (name.size() > 200)
        name.resize(200);
    static std::atomic<unsigned> counter{0};
    const auto seed = static_cast<unsigned>(::GetTickCount64() ^ (::GetCurrentProcessId() << 16));
    for (int attempt = 0; attempt < 100; ++attempt) {
        char mark[16];
        std::snprintf(mark, sizeof mark, "%08x",
                      (seed + counter.fetch_add(1) * 2654435761u) & 0xFFFFFFFFu);
        std::string candidate = folder + "." + name + "." + mark + ".part";
        // FILE_SHARE_DELETE: the file is given its name while this handle still writes to it.
        const HANDLE handle =
            ::CreateFileA(candidate.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                          nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                continue;
            Failed(error);
            return {};
        }
        const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
        if (fd < 0) {
            ::CloseHandle(handle);
            ::DeleteFileA(candidate.c_str());
            FailedWithErrno(EMFILE);
            return {};
        }
        return {fd, std::move(candidate)};
    }
    Failed(ERROR_FILE_EXISTS);
    return {};
}

PlaceOutcome PlaceFile(const std::string& from, const std::string& to, bool replace)
{
    const NameKind kind = KindOfName(to);
    if (kind == NameKind::Other)
        return PlaceOutcome::NotRegular;
    if (kind == NameKind::RegularFile && !replace)
        return PlaceOutcome::NameTaken;
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (::MoveFileExA(from.c_str(), to.c_str(), flags))
        return PlaceOutcome::Placed;
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
        return KindOfName(to) == NameKind::RegularFile ? PlaceOutcome::NameTaken
                                                       : PlaceOutcome::NotRegular;
    Failed(error);
    return PlaceOutcome::Failed;
}

bool RemoveFile(const std::string& path)
{
    if (::DeleteFileA(path.c_str()))
        return true;
    Failed(::GetLastError());
    return false;
}

NameKind KindOfName(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return NameKind::Absent;
    if (IsLinkOrFolder(attributes))
        return NameKind::Other;
    // A device name (NUL, COM3) has attributes too; only a disk file is a regular one.
    const HANDLE handle =
        ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return NameKind::RegularFile;
    const bool regular = IsRegularFile(handle);
    ::CloseHandle(handle);
    return regular ? NameKind::RegularFile : NameKind::Other;
}

bool SameFile(const std::string& a, const std::string& b)
{
    const auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        const HANDLE handle =
            ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return false;
        const bool ok = ::GetFileInformationByHandle(handle, &info) != 0;
        ::CloseHandle(handle);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    const bool hasFirst = identity(a, first);
    const bool hasSecond = identity(b, second);
    if (hasFirst || hasSecond)
        return hasFirst && hasSecond && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
               first.nFileIndexHigh == second.nFileIndexHigh &&
               first.nFileIndexLow == second.nFileIndexLow;
    // Neither exists yet: the same full name, as Windows compares names (without case).
    char fullA[MAX_PATH * 4], fullB[MAX_PATH * 4];
    const DWORD lengthA = ::GetFullPathNameA(a.c_str(), sizeof fullA, fullA, nullptr);
    const DWORD lengthB = ::GetFullPathNameA(b.c_str(), sizeof fullB, fullB, nullptr);
    return lengthA > 0 && lengthA < sizeof fullA && lengthB > 0 && lengthB < sizeof fullB &&
           ::_stricmp(fullA, fullB) == 0;
}

std::string LastFailureText()
{
    if (Last.Code != 0)
        return SystemErrorText(Last.Code);
    return std::strerror(Last.Errno);
}

bool CutTo(int fd, std::uint64_t size)
{
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) {
        Failed(ERROR_INVALID_HANDLE);
        return false;
    }
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    if (::SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle))
        return true;
    Failed(::GetLastError());
    return false;
}

bool SyncToStorage(int fd)
{
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) {
        Failed(ERROR_INVALID_HANDLE);
        return false;
    }
    if (::FlushFileBuffers(handle))
        return true;
    Failed(::GetLastError());
    return false;
}

bool CsvByteOrderMarkByDefault() noexcept
{
    return true;
}

} // namespace rv
