#include "rangeview/tools/fleet/FleetSystem.h"

#include <winsock2.h>

namespace rv {

// Access to a file on Windows is its ACL's business, which a user manages in Explorer; there
// are no permission bits worth a warning.
std::optional<std::string> ExposedSecretFile(const std::string&)
{
    return std::nullopt;
}

void MakeListenerExclusive(long long socket)
{
    BOOL yes = TRUE;
    ::setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                 reinterpret_cast<const char*>(&yes), sizeof yes);
}

} // namespace rv
