#include "RawIo.h"

#include "ConsoleText.h"

#include <algorithm>
#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace rv {

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

bool WriteAll(int fd, std::string_view text)
{
    if (WriteConsoleText(fd, text))
        return true;
    for (std::size_t done = 0; done < text.size();) {
        const auto size = static_cast<unsigned>(std::min<std::size_t>(text.size() - done, INT_MAX));
        const int n = ::_write(fd, text.data() + done, size);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void UseBinaryStandardInput()
{
    ::_setmode(StandardInputFd, _O_BINARY);
}

bool SyncToStorage(std::FILE* file)
{
    if (std::fflush(file) != 0)
        return false;
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
    // A console or a pipe cannot be flushed to storage and need not be.
    return handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK ||
           ::FlushFileBuffers(handle) != FALSE;
}

} // namespace rv
