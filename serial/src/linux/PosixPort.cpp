#include "PosixPort.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "TermiosSpeed.h"

namespace rv::posix {

namespace {

constexpr std::uint64_t PortTag = 1;
constexpr std::uint64_t WakeTag = 2;

// A steady stream is reported at most once per this interval: each report costs the reader and
// the window a wake-up, and at 115200 baud a frame arrives every 0.7 ms. The bytes of the
// interval are read together by the next handling, at most this much later.
constexpr std::chrono::microseconds ArrivalInterval{3000};

void CloseQuietly(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

bool IsGoneError(int err)
{
    return err == EIO || err == ENXIO || err == ENODEV;
}

// The system's text for err, followed by what to check where the cause is usually on the user's
// side of the machine rather than in the program.
std::string ReasonFor(int err)
{
    std::string reason = std::generic_category().message(err);
    switch (err) {
    case EACCES:
    case EPERM:
        reason += ": add the user to the dialout group";
        break;
    case EBUSY:
    case EWOULDBLOCK:
        reason += ": the port is in use by another program";
        break;
    case ENOENT:
        reason += ": no such port; check the name and that the device is plugged in";
        break;
    case ENOTTY:
        reason += ": the path is not a terminal, so it is no serial port";
        break;
    case EIO:
    case ENXIO:
    case ENODEV:
        reason += ": the device was unplugged or hung up";
        break;
    default:
        break;
    }
    return reason;
}

void Report(const std::string& path, const char* call, int err)
{
    ReportSystemError({path, call, err, ReasonFor(err)});
}

void Report(const std::string& path, const char* call, int err, std::string reason)
{
    ReportSystemError({path, call, err, std::move(reason)});
}

} // namespace

std::shared_ptr<PosixPort> PosixPort::Open(const std::string& path)
{
    if (path.find('\0') != std::string::npos) {
        // The device name would be cut short at the NUL.
        Report(path.substr(0, path.find('\0')), "open", EINVAL,
               ReasonFor(EINVAL) + ": the port name contains a NUL character");
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Report(path, "open", errno);
        return nullptr;
    }
    // Something that is not a terminal cannot be a serial port; refusing it here gives the user
    // the open failure instead of a silent close after the line settings fail.
    if (!::isatty(fd)) {
        const int err = errno;
        ::close(fd);
        Report(path, "isatty", err == 0 ? ENOTTY : err);
        return nullptr;
    }
    // flock keeps out every other program that locks (root bypasses TIOCEXCL).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        Report(path, "flock", err);
        return nullptr;
    }
    // What the port was set to before, restored on release so that the next program on the
    // port does not inherit raw mode and the link's speed.
    TerminalState saved;
    if (!SaveTerminal(fd, saved)) {
        const int err = errno;
        ::close(fd);
        Report(path, "ioctl(TCGETS2)", err);
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);

    const auto giveUp = [&](int epollFd, int wakeFd) {
        CloseQuietly(epollFd);
        CloseQuietly(wakeFd);
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
    };
    const int epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    if (epollFd < 0) {
        Report(path, "epoll_create1", errno);
        giveUp(epollFd, -1);
        return nullptr;
    }
    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        Report(path, "eventfd", errno);
        giveUp(epollFd, wakeFd);
        return nullptr;
    }
    epoll_event portEvent{};
    portEvent.events = EPOLLIN | EPOLLET;
    portEvent.data.u64 = PortTag;
    epoll_event wakeEvent{};
    wakeEvent.events = EPOLLIN;
    wakeEvent.data.u64 = WakeTag;
    if (::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &portEvent) != 0 ||
        ::epoll_ctl(epollFd, EPOLL_CTL_ADD, wakeFd, &wakeEvent) != 0) {
        Report(path, "epoll_ctl", errno);
        giveUp(epollFd, wakeFd);
        return nullptr;
    }
    try {
        return std::make_shared<PosixPort>(path, fd, epollFd, wakeFd, saved);
    } catch (...) {
        Report(path, "open", ENOMEM);
        giveUp(epollFd, wakeFd);
        return nullptr;
    }
}

PosixPort::PosixPort(std::string path, int fd, int epollFd, int wakeFd, const TerminalState& saved)
    : Path_(std::move(path)), Fd_(fd), EpollFd_(epollFd), WakeFd_(wakeFd), Saved_(saved)
{
}

PosixPort::~PosixPort()
{
    Close();
    CloseQuietly(EpollFd_);
    CloseQuietly(WakeFd_);
}

void PosixPort::Wake()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(WakeFd_, &one, sizeof one);
}

void PosixPort::DropPendingWrite()
{
    PendingData_ = nullptr;
    PendingLeft_ = 0;
}

// Reads never block (O_NONBLOCK) and writes are bounded by the caller, which is what these
// time-outs ask for; nothing to set on a terminal.
bool PosixPort::SetTimeouts(const CommTimeouts&)
{
    return !IsReleased();
}

// Terminal queues have fixed sizes.
bool PosixPort::SetQueueSizes(std::uint32_t, std::uint32_t)
{
    return !IsReleased();
}

bool PosixPort::GetCommState(LineSettings& settings)
{
    if (IsReleased())
        return false;
    termios tio{};
    if (::tcgetattr(Fd_, &tio) != 0) {
        Report(Path_, "tcgetattr", errno);
        return false;
    }
    std::uint32_t input = 0;
    std::uint32_t output = 0;
    if (!ReadLineSpeeds(Fd_, input, output)) {
        Report(Path_, "ioctl(TCGETS2)", errno);
        return false;
    }
    settings.BaudRate = output;
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        settings.ByteSize = 5;
        break;
    case CS6:
        settings.ByteSize = 6;
        break;
    case CS7:
        settings.ByteSize = 7;
        break;
    default:
        settings.ByteSize = 8;
        break;
    }
    settings.Parity = (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? 1 : 2) : NoParity;
    settings.StopBits = (tio.c_cflag & CSTOPB) ? 2 : OneStopBit;
    return true;
}

bool PosixPort::SetCommState(const LineSettings& settings)
{
    if (IsReleased())
        return false;
    // 0 would hang the line up; above INT32_MAX is a negative number the user typed.
    if (settings.BaudRate == 0 || settings.BaudRate > static_cast<std::uint32_t>(INT_MAX)) {
        Report(Path_, "tcsetattr", EINVAL,
               ReasonFor(EINVAL) + ": " +
                   std::to_string(static_cast<std::int32_t>(settings.BaudRate)) +
                   " is no baud rate");
        return false;
    }
    tcflag_t size = 0;
    switch (settings.ByteSize) {
    case 5:
        size = CS5;
        break;
    case 6:
        size = CS6;
        break;
    case 7:
        size = CS7;
        break;
    case 8:
        size = CS8;
        break;
    default:
        Report(Path_, "tcsetattr", EINVAL,
               ReasonFor(EINVAL) + ": " + std::to_string(settings.ByteSize) + " data bits");
        return false;
    }
    if (settings.Parity > 2 || (settings.StopBits != OneStopBit && settings.StopBits != 2)) {
        Report(Path_, "tcsetattr", EINVAL, ReasonFor(EINVAL) + ": no such parity or stop bits");
        return false;
    }

    termios tio{};
    if (::tcgetattr(Fd_, &tio) != 0) {
        Report(Path_, "tcgetattr", errno);
        return false;
    }
    // Raw bytes in both directions. Hardware flow control (CRTSCTS), IXOFF, parity checking and
    // the special characters stay as the port had them. IXON and IXANY are cleared: Linux turns
    // IXON on for every new terminal, and with it the bytes 0x11 and 0x13 inside measurement
    // frames would be swallowed as flow-control characters. CLOCAL: the link neither waits
    // for nor hangs up on the carrier line, which a sensor module does not drive.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IUCLC | IMAXBEL | IXON | IXANY);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
    tio.c_cflag |= size | CREAD | CLOCAL;
    if (settings.Parity == 1)
        tio.c_cflag |= PARENB | PARODD;
    else if (settings.Parity == 2)
        tio.c_cflag |= PARENB;
    if (settings.StopBits == 2)
        tio.c_cflag |= CSTOPB;
    // With O_NONBLOCK a read never waits either way; VMIN 1 makes an empty queue answer EAGAIN,
    // so that a read of 0 bytes means only one thing: the terminal was hung up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;

    if (::tcsetattr(Fd_, TCSANOW, &tio) != 0) {
        Report(Path_, "tcsetattr", errno);
        return false;
    }
    if (!SetLineSpeed(Fd_, settings.BaudRate)) {
        Report(Path_, "ioctl(TCSETS2)", errno);
        return false;
    }

    // tcsetattr succeeds when any part was taken; check that the line runs as asked. A custom
    // speed is met within 3%, the tolerance of an asynchronous line.
    termios now{};
    if (::tcgetattr(Fd_, &now) != 0) {
        Report(Path_, "tcgetattr", errno);
        return false;
    }
    std::uint32_t input = 0;
    std::uint32_t output = 0;
    if (!ReadLineSpeeds(Fd_, input, output)) {
        Report(Path_, "ioctl(TCGETS2)", errno);
        return false;
    }
    if ((now.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB)) !=
        (tio.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB))) {
        Report(Path_, "tcsetattr", EINVAL,
               ReasonFor(EINVAL) + ": the port refused 8 data bits, no parity, one stop bit");
        return false;
    }
    const auto near = [&settings](std::uint32_t actual) {
        const auto diff =
            actual > settings.BaudRate ? actual - settings.BaudRate : settings.BaudRate - actual;
        return static_cast<std::uint64_t>(diff) * 100 <=
               static_cast<std::uint64_t>(settings.BaudRate) * 3;
    };
    if (!near(input) || !near(output)) {
        Report(Path_, "ioctl(TCSETS2)", EINVAL,
               ReasonFor(EINVAL) + ": the port runs at " + std::to_string(output) + " baud out, " +
                   std::to_string(input) + " in, instead of " + std::to_string(settings.BaudRate));
        return false;
    }
    return true;
}

bool PosixPort::SetCommMask(std::uint32_t mask)
{
    if (IsReleased())
        return false;
    Mask_.store(mask);
    MaskGeneration_.fetch_add(1);
    Wake();
    return true;
}

void PosixPort::RaiseDtr()
{
    if (IsReleased())
        return;
    int bits = TIOCM_DTR;
    ::ioctl(Fd_, TIOCMBIS, &bits); // fails on a pseudo-terminal; the result does not matter
}

bool PosixPort::WaitCommEvent(std::uint32_t& mask, IoRecord&)
{
    if (IsReleased())
        return false;
    const auto generation = MaskGeneration_.load();
    const auto armed = Mask_.load();
    if (armed == 0)
        return false;
    // A line that was quiet for the interval is waited on at once; otherwise the wait starts
    // when the interval is over, and finds the bytes of the interval already there. A mask
    // change or a release (the eventfd) ends the pause early.
    const auto due = LastArrival_ + ArrivalInterval;
    const auto now = std::chrono::steady_clock::now();
    if (now < due) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(due - now);
        const timespec pause{0, static_cast<long>(left.count())};
        pollfd wake{WakeFd_, POLLIN, 0};
        ::ppoll(&wake, 1, &pause, nullptr);
    }
    if (EdgeHeld_ && (armed & EvRxChar)) {
        EdgeHeld_ = false;
        mask = EvRxChar;
        return true;
    }
    for (;;) {
        epoll_event events[2];
        const int n = ::epoll_wait(EpollFd_, events, 2, -1);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Report(Path_, "epoll_wait", errno);
            return false;
        }
        bool arrived = false;
        for (int i = 0; i < n; ++i) {
            if (events[i].data.u64 == PortTag) {
                arrived = true;
                if (events[i].events & (EPOLLHUP | EPOLLERR))
                    Vanished_.store(true);
            } else {
                std::uint64_t count = 0;
                [[maybe_unused]] const auto r = ::read(WakeFd_, &count, sizeof count);
            }
        }
        if (MaskGeneration_.load() != generation || IsReleased()) {
            EdgeHeld_ = EdgeHeld_ || arrived;
            mask = 0;
            return true;
        }
        if (arrived && (armed & EvRxChar)) {
            LastArrival_ = std::chrono::steady_clock::now();
            mask = EvRxChar;
            return true;
        }
    }
}

bool PosixPort::ClearCommError(std::uint32_t& errors, CommStatus& status)
{
    errors = 0;
    status = {};
    if (IsReleased())
        return false;
    int queued = 0;
    if (::ioctl(Fd_, FIONREAD, &queued) != 0) {
        if (!IsGoneError(errno)) {
            Report(Path_, "ioctl(FIONREAD)", errno);
            return false;
        }
        Vanished_.store(true);
    }
    // A device that has gone away is reported by the read, once, as a read failure.
    if (Vanished_.load() && queued <= 0)
        queued = 1;
    status.InQueue = static_cast<std::uint32_t>(std::max(queued, 0));
    int outQueued = 0;
    if (::ioctl(Fd_, TIOCOUTQ, &outQueued) == 0)
        status.OutQueue = static_cast<std::uint32_t>(std::max(outQueued, 0));
    return true;
}

bool PosixPort::Read(std::span<std::uint8_t> buffer, IoRecord& record)
{
    record.BytesTransferred = 0;
    if (IsReleased())
        return false;
    if (buffer.empty())
        return true;
    const auto n = ::read(Fd_, buffer.data(), buffer.size());
    if (n > 0) {
        record.BytesTransferred = static_cast<std::uint32_t>(n);
        if (record.Event)
            record.Event->Set();
        return true;
    }
    if (n == 0) {
        // End of file: the terminal was hung up.
        Report(Path_, "read", EIO, "End of file: the device was unplugged or hung up");
        return false;
    }
    if (errno == EAGAIN || errno == EINTR) {
        if (record.Event)
            record.Event->Set();
        return true; // nothing queued after all
    }
    Report(Path_, "read", errno);
    return false;
}

WriteStart PosixPort::StartWrite(std::span<const std::uint8_t> bytes, IoRecord& record)
{
    DropPendingWrite();
    record.BytesTransferred = 0;
    if (IsReleased())
        return WriteStart::Failed;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto n = ::write(Fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || errno == EAGAIN)
            break;
        Report(Path_, "write", errno);
        return WriteStart::Failed;
    }
    record.BytesTransferred = static_cast<std::uint32_t>(done);
    if (done == bytes.size()) {
        if (record.Event)
            record.Event->Set();
        return WriteStart::Completed;
    }
    PendingData_ = bytes.data() + done;
    PendingLeft_ = bytes.size() - done;
    return WriteStart::Pending;
}

bool PosixPort::FinishWrite(IoRecord& record, std::chrono::milliseconds bound)
{
    using Clock = std::chrono::steady_clock;
    if (IsReleased()) {
        DropPendingWrite();
        return false;
    }
    const auto deadline = Clock::now() + bound;
    while (PendingLeft_ > 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            Report(Path_, "write", ETIMEDOUT,
                   ReasonFor(ETIMEDOUT) + ": the port took no output for " +
                       std::to_string(bound.count()) + " ms (held back by flow control?)");
            DropPendingWrite();
            return false;
        }
        pollfd p{Fd_, POLLOUT, 0};
        const int r =
            ::poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left.count(), INT_MAX)));
        if (r < 0 && errno != EINTR) {
            Report(Path_, "poll", errno);
            DropPendingWrite();
            return false;
        }
        if (r <= 0)
            continue;
        if (!(p.revents & POLLOUT)) {
            // Hung up or in error.
            Report(Path_, "poll", EIO, ReasonFor(EIO));
            DropPendingWrite();
            return false;
        }
        const auto n = ::write(Fd_, PendingData_, PendingLeft_);
        if (n > 0) {
            PendingData_ += n;
            PendingLeft_ -= static_cast<std::size_t>(n);
            record.BytesTransferred += static_cast<std::uint32_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            Report(Path_, "write", errno);
            DropPendingWrite();
            return false;
        }
    }
    DropPendingWrite();
    if (record.Event)
        record.Event->Set();
    return true;
}

bool PosixPort::Purge(std::uint32_t flags)
{
    if (IsReleased())
        return false;
    if (flags & PurgeTxAbort)
        DropPendingWrite();
    const bool rx = flags & PurgeRxClear;
    const bool tx = flags & PurgeTxClear;
    if (!rx && !tx)
        return true;
    if (::tcflush(Fd_, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) != 0) {
        Report(Path_, "tcflush", errno);
        return false;
    }
    return true;
}

void PosixPort::Close()
{
    if (Released_.exchange(true))
        return;
    DropPendingWrite();
    ::epoll_ctl(EpollFd_, EPOLL_CTL_DEL, Fd_, nullptr);
    // Output held back by flow control would make close() wait for it to drain.
    ::tcflush(Fd_, TCOFLUSH);
    // A device that has gone away has no settings left to restore.
    if (!RestoreTerminal(Fd_, Saved_) && !IsGoneError(errno))
        Report(Path_, "ioctl(TCSETS2)", errno);
    ::ioctl(Fd_, TIOCNXCL); // the exclusive flag belongs to the terminal, not to this descriptor
    ::close(Fd_);
    Fd_ = -1;
    MaskGeneration_.fetch_add(1);
    Wake();
}

} // namespace rv::posix
