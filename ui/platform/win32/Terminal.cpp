#include "rangeview/ui/ProgramOptions.h"

#include <io.h>
#include <windows.h>

namespace rv {

bool IsTerminal(int fd)
{
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && ::GetConsoleMode(handle, &mode);
}

} // namespace rv
