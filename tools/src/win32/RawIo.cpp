#include "RawIo.h"

#include "ConsoleText.h"

#include <algorithm>
#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace rv {

namespace {

// errno for what CreateFileA and its companions report, so that callers word every system the
// same way.
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
    default:
        return EIO;
    }
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
    return ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

void CloseDescriptor(int fd)
{
    if (fd >= 0)
        ::_close(fd);
}

long ReadSome(int fd, std::span<std::uint8_t> buffer)
{
    const auto size = static_cast<unsigned>(std::min<std::size_t>(buffer.size(), INT_MAX));
    return ::_read(fd, buffer.data(), size);
}

std::size_t WriteUpTo(int fd, std::span<const std::uint8_t> bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto size =
            static_cast<unsigned>(std::min<std::size_t>(bytes.size() - done, INT_MAX));
        const int n = ::_write(fd, bytes.data() + done, size);
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
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
        errno = ErrnoOf(error);
        return {};
    }
    if (!IsRegularFile(handle)) {
        ::CloseHandle(handle);
        return {-1, true};
    }
    if (replace && !::SetEndOfFile(handle)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(handle);
        errno = ErrnoOf(error);
        return {};
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        errno = EMFILE;
        return {};
    }
    return {fd, false};
}

bool CutTo(int fd, std::uint64_t size)
{
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    return handle != INVALID_HANDLE_VALUE && ::SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) &&
           ::SetEndOfFile(handle);
}

bool SyncToStorage(int fd)
{
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE || ::FlushFileBuffers(handle))
        return true;
    errno = ErrnoOf(::GetLastError());
    return false;
}

bool CsvByteOrderMarkByDefault() noexcept
{
    return true;
}

} // namespace rv
