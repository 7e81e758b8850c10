#include "RawIo.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace rv {

int OpenForReading(const std::string& path)
{
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

void CloseDescriptor(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

long ReadSome(int fd, std::span<std::uint8_t> buffer)
{
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        return static_cast<long>(got);
    }
}

bool WriteAll(int fd, std::string_view text)
{
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void UseBinaryStandardInput()
{
}

bool SyncToStorage(std::FILE* file)
{
    if (std::fflush(file) != 0)
        return false;
    // fdatasync: the data and the size, without waiting for the time stamps.
    return ::fdatasync(::fileno(file)) == 0 || errno == EINVAL || errno == EROFS;
}

} // namespace rv
