#include "rangeview/ui/ProgramOptions.h"

#include <windows.h>

namespace rv {

bool TextGoesUnseen(int fd)
{
    // Started from Explorer or a shortcut a window program has no standard handles; from a
    // console or a script it has those the caller gave it (a console, a file, a pipe, NUL),
    // and the caller chose where the text goes.
    const HANDLE handle = ::GetStdHandle(fd == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return true;
    ::SetLastError(NO_ERROR);
    return ::GetFileType(handle) == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR;
}

} // namespace rv
