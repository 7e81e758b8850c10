#include "rangeview/ui/ProgramOptions.h"

#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rv {

namespace {

bool HasControllingTerminal()
{
    const int fd = ::open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool HasDisplay()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

} // namespace

bool TextGoesUnseen(int fd)
{
    // A script or a pipe reads files and pipes; whoever started the program from a terminal
    // sees that terminal. A desktop launcher leaves the journal's socket or /dev/null.
    if (::isatty(fd) == 1 || HasControllingTerminal())
        return false;
    struct stat st { };
    if (::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode)))
        return false;
    return HasDisplay();
}

} // namespace rv
