#include "KernelTermios.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace rv::test {

bool ReadKernelSpeeds(int fd, std::uint32_t& input, std::uint32_t& output)
{
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    input = tio.c_ispeed;
    output = tio.c_ospeed;
    return true;
}

bool SetKernelSpeeds(int fd, std::uint32_t input, std::uint32_t output)
{
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = input;
    tio.c_ospeed = output;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

} // namespace rv::test
