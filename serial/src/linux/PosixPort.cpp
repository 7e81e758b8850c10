#include "PosixPort.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

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
constexpr std::chrono::microseconds ArrivalInterval{2000};

void CloseQuietly(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

speed_t StandardSpeed(std::uint32_t baud)
{
    switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    case 2500000: return B2500000;
    case 3000000: return B3000000;
    case 3500000: return B3500000;
    case 4000000: return B4000000;
    default: return B0;
    }
}

bool IsGoneError(int err)
{
    return err == EIO || err == ENXIO || err == ENODEV;
}

} // namespace

std::shared_ptr<PosixPort> PosixPort::Open(const std::string& path)
{
    if (path.find('\0') != std::string::npos)
        return nullptr;  // the device name would be cut short at the NUL
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    // Something that is not a terminal cannot be a serial port; refusing it here gives the user
    // the open failure instead of a silent close after the line settings fail.
    // flock keeps out every other program that locks (root bypasses TIOCEXCL).
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);

    const int epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    bool ok = epollFd >= 0 && wakeFd >= 0;
    if (ok) {
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLET;
        ev.data.u64 = PortTag;
        ok = ::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &ev) == 0;
    }
    if (ok) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = WakeTag;
        ok = ::epoll_ctl(epollFd, EPOLL_CTL_ADD, wakeFd, &ev) == 0;
    }
    if (!ok) {
        CloseQuietly(epollFd);
        CloseQuietly(wakeFd);
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return nullptr;
    }
    try {
        return std::make_shared<PosixPort>(fd, epollFd, wakeFd);
    } catch (...) {
        CloseQuietly(epollFd);
        CloseQuietly(wakeFd);
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return nullptr;
    }
}

PosixPort::PosixPort(int fd, int epollFd, int wakeFd) : Fd_(fd), EpollFd_(epollFd), WakeFd_(wakeFd)
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
    if (::tcgetattr(Fd_, &tio) != 0)
        return false;
    std::uint32_t baud = 0;
    if (!ReadSpeed(Fd_, baud))
        return false;
    settings.BaudRate = baud;
    switch (tio.c_cflag & CSIZE) {
    case CS5: settings.ByteSize = 5; break;
    case CS6: settings.ByteSize = 6; break;
    case CS7: settings.ByteSize = 7; break;
    default: settings.ByteSize = 8; break;
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
    if (settings.BaudRate == 0 || settings.BaudRate > static_cast<std::uint32_t>(INT_MAX))
        return false;
    tcflag_t size = 0;
    switch (settings.ByteSize) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return false;
    }
    if (settings.Parity > 2 || (settings.StopBits != OneStopBit && settings.StopBits != 2))
        return false;

    termios tio{};
    if (::tcgetattr(Fd_, &tio) != 0)
        return false;
    // Raw bytes in both directions. Hardware flow control (CRTSCTS), IXOFF, parity checking and
    // the special characters stay as the port had them. IXON and IXANY are cleared: Linux turns
    // IXON on for every new terminal, and with it the bytes 0x11 and 0x13 inside measurement
    // frames would be swallowed as flow-control characters. CLOCAL: like a serial driver, the
    // link neither waits for nor hangs up on the carrier line.
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

    const speed_t standard = StandardSpeed(settings.BaudRate);
    if (standard != B0) {
        ::cfsetispeed(&tio, standard);
        ::cfsetospeed(&tio, standard);
    }
    if (::tcsetattr(Fd_, TCSANOW, &tio) != 0)
        return false;
    if (standard == B0 && !SetCustomSpeed(Fd_, settings.BaudRate))
        return false;

    // tcsetattr succeeds when any part was taken; check that the line runs as asked. A custom
    // speed is met within 3%, the tolerance of an asynchronous line.
    termios now{};
    std::uint32_t actual = 0;
    if (::tcgetattr(Fd_, &now) != 0 || !ReadSpeed(Fd_, actual))
        return false;
    if ((now.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB)) !=
        (tio.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB)))
        return false;
    const auto diff = actual > settings.BaudRate ? actual - settings.BaudRate
                                                 : settings.BaudRate - actual;
    return static_cast<std::uint64_t>(diff) * 100 <= static_cast<std::uint64_t>(settings.BaudRate) * 3;
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
    ::ioctl(Fd_, TIOCMBIS, &bits);  // fails on a pseudo-terminal; the result does not matter
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
        if (!IsGoneError(errno))
            return false;
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
    if (n == 0)
        return false;  // end of file: the terminal was hung up
    if (errno == EAGAIN || errno == EINTR) {
        if (record.Event)
            record.Event->Set();
        return true;  // nothing queued after all
    }
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
            DropPendingWrite();
            return false;
        }
        pollfd p{Fd_, POLLOUT, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left.count(), INT_MAX)));
        if (r < 0 && errno != EINTR) {
            DropPendingWrite();
            return false;
        }
        if (r <= 0)
            continue;
        if (!(p.revents & POLLOUT)) {
            DropPendingWrite();
            return false;  // hung up or in error
        }
        const auto n = ::write(Fd_, PendingData_, PendingLeft_);
        if (n > 0) {
            PendingData_ += n;
            PendingLeft_ -= static_cast<std::size_t>(n);
            record.BytesTransferred += static_cast<std::uint32_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
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
    if (rx && tx)
        return ::tcflush(Fd_, TCIOFLUSH) == 0;
    if (rx)
        return ::tcflush(Fd_, TCIFLUSH) == 0;
    if (tx)
        return ::tcflush(Fd_, TCOFLUSH) == 0;
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
    ::ioctl(Fd_, TIOCNXCL);  // the exclusive flag belongs to the terminal, not to this descriptor
    ::close(Fd_);
    Fd_ = -1;
    MaskGeneration_.fetch_add(1);
    Wake();
}

} // namespace rv::posix
