#include "TermiosSpeed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstring>

namespace rv::posix {

namespace {

static_assert(sizeof(termios2) <= sizeof(TerminalState::Bytes));

speed_t StandardSpeed(std::uint32_t baud)
{
    switch (baud) {
    case 50:
        return B50;
    case 75:
        return B75;
    case 110:
        return B110;
    case 134:
        return B134;
    case 150:
        return B150;
    case 200:
        return B200;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 1800:
        return B1800;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 500000:
        return B500000;
    case 576000:
        return B576000;
    case 921600:
        return B921600;
    case 1000000:
        return B1000000;
    case 1152000:
        return B1152000;
    case 1500000:
        return B1500000;
    case 2000000:
        return B2000000;
    case 2500000:
        return B2500000;
    case 3000000:
        return B3000000;
    case 3500000:
        return B3500000;
    case 4000000:
        return B4000000;
    default:
        return B0;
    }
}

} // namespace

bool SaveTerminal(int fd, TerminalState& state)
{
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    std::memcpy(state.Bytes, &tio, sizeof tio);
    return true;
}

bool RestoreTerminal(int fd, const TerminalState& state)
{
    termios2 tio{};
    std::memcpy(&tio, state.Bytes, sizeof tio);
    return ioctl(fd, TCSETS2, &tio) == 0;
}

bool SetLineSpeed(int fd, std::uint32_t baud)
{
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    // The input speed has a field of its own: left alone, it keeps whatever rate an earlier
    // program (or an earlier open at a custom rate) set.
    const speed_t code = StandardSpeed(baud);
    const speed_t bits = code != B0 ? code : BOTHER;
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= bits | (bits << IBSHIFT);
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

bool ReadLineSpeeds(int fd, std::uint32_t& input, std::uint32_t& output)
{
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    input = tio.c_ispeed;
    output = tio.c_ospeed;
    return true;
}

} // namespace rv::posix
