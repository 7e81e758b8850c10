#include "rangeview/tools/fleet/FleetSystem.h"

#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdio>

namespace rv {

std::optional<std::string> ExposedSecretFile(const std::string& path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0 || (info.st_mode & 077) == 0)
        return std::nullopt;
    char mode[16];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return std::string("other users may read it (mode ") + mode + "); chmod 600 " + path;
}

void MakeListenerExclusive(long long socket)
{
    // Reusing an address still in TIME_WAIT is fine; two listeners on one port are not.
    int yes = 1;
    ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

} // namespace rv
