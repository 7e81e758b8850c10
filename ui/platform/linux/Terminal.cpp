#include "rangeview/ui/ProgramOptions.h"

#include <unistd.h>

namespace rv {

bool IsTerminal(int fd)
{
    return ::isatty(fd) == 1;
}

} // namespace rv
