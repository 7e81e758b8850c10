#include "RawIo.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
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

std::size_t WriteUpTo(int fd, std::span<const std::uint8_t> bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool WriteAll(int fd, std::string_view text)
{
    return WriteUpTo(fd, std::span(reinterpret_cast<const std::uint8_t*>(text.data()),
                                   text.size())) == text.size();
}

void UseBinaryStandardInput()
{
}

NewFile CreateForWriting(const std::string& path, bool replace)
{
    // O_NONBLOCK and O_NOCTTY: a fifo or a terminal named by mistake must not hang the open or
    // become the controlling terminal before it is refused.
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC |
                      (replace ? 0 : O_EXCL);
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    struct stat info { };
    if (fd < 0) {
        const int error = errno;
        // A link (ELOOP), a folder (EISDIR), a fifo without reader (ENXIO) or anything at all
        // (EEXIST): only the name's own kind tells which message is right.
        if (::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
            return {-1, true};
        errno = error;
        return {};
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return {-1, true};
    }
    if (replace && ::ftruncate(fd, 0) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return {};
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return {fd, false};
}

bool CutTo(int fd, std::uint64_t size)
{
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

bool SyncToStorage(int fd)
{
    // fdatasync: the data and the size, without waiting for the time stamps.
    return ::fdatasync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

bool CsvByteOrderMarkByDefault() noexcept
{
    return false;
}

} // namespace rv
