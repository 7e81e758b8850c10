#include "RawIo.h"

#include "rangeview/common/SystemErrorText.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <utility>

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

bool SeekTo(int fd, std::uint64_t offset)
{
    return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

std::int64_t FileSize(int fd)
{
    struct stat info { };
    if (::fstat(fd, &info) != 0)
        return -1;
    return static_cast<std::int64_t>(info.st_size);
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

namespace {

// The folder part of path with its final slash ("" for a bare name), and the name itself.
std::pair<std::string, std::string> SplitName(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

} // namespace

PendingFile CreateBeside(const std::string& path)
{
    auto [folder, name] = SplitName(path);
    // Room for the marks around the name within the system's limit on one name.
    if (name.size() > 200)
        name.resize(200);
    static std::atomic<unsigned> counter{0};
    const auto seed = static_cast<unsigned>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^ (::getpid() << 16));
    for (int attempt = 0; attempt < 100; ++attempt) {
        char mark[16];
        std::snprintf(mark, sizeof mark, "%08x",
                      (seed + counter.fetch_add(1) * 2654435761u) & 0xFFFFFFFFu);
        std::string candidate = folder + "." + name + "." + mark + ".part";
        int fd = -1;
        do {
            fd = ::open(candidate.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0)
            return {fd, std::move(candidate)};
        if (errno != EEXIST)
            return {};
    }
    return {};
}

namespace {

// The new name is kept by a power cut only once its folder is on the storage too.
void SyncFolderOf(const std::string& path)
{
    const std::string folder = SplitName(path).first;
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

PlaceOutcome Placed(const std::string& to)
{
    SyncFolderOf(to);
    return PlaceOutcome::Placed;
}

} // namespace

PlaceOutcome PlaceFile(const std::string& from, const std::string& to, bool replace)
{
    const auto taken = [&] {
        return KindOfName(to) == NameKind::RegularFile ? PlaceOutcome::NameTaken
                                                       : PlaceOutcome::NotRegular;
    };
    if (replace) {
        const NameKind kind = KindOfName(to);
        if (kind == NameKind::Other)
            return PlaceOutcome::NotRegular;
        // rename replaces the name itself: a link put there meanwhile is replaced, never
        // followed.
        if (::rename(from.c_str(), to.c_str()) == 0)
            return Placed(to);
        return errno == EISDIR || errno == ENOTEMPTY ? PlaceOutcome::NotRegular
                                                     : PlaceOutcome::Failed;
    }
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return Placed(to);
    if (errno == EEXIST)
        return taken();
    if (errno != EINVAL && errno != ENOSYS)
        return PlaceOutcome::Failed;
    // A file system without the flag: a second link fails on any existing name just as well.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return Placed(to);
    }
    if (errno == EEXIST)
        return taken();
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return PlaceOutcome::Failed;
    // Nor links (FAT, some network shares): a look at the name just before is the best there is.
    if (KindOfName(to) != NameKind::Absent)
        return taken();
    if (::rename(from.c_str(), to.c_str()) != 0)
        return PlaceOutcome::Failed;
    return Placed(to);
}

bool RemoveFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

NameKind KindOfName(const std::string& path)
{
    struct stat info { };
    if (::lstat(path.c_str(), &info) != 0)
        return NameKind::Absent;
    return S_ISREG(info.st_mode) ? NameKind::RegularFile : NameKind::Other;
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat first {
    }, second{};
    const bool hasFirst = ::stat(a.c_str(), &first) == 0;
    const bool hasSecond = ::stat(b.c_str(), &second) == 0;
    if (hasFirst || hasSecond)
        return hasFirst && hasSecond && first.st_dev == second.st_dev &&
               first.st_ino == second.st_ino;
    const auto [folderA, nameA] = SplitName(a);
    const auto [folderB, nameB] = SplitName(b);
    if (nameA != nameB)
        return false;
    return ::stat(folderA.empty() ? "." : folderA.c_str(), &first) == 0 &&
           ::stat(folderB.empty() ? "." : folderB.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string LastFailureText()
{
    return SystemErrorText(static_cast<unsigned long>(errno));
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
