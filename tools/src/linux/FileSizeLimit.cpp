#include "FileSizeLimit.h"

#include <csignal>

namespace rv {

namespace {

struct sigaction Previous { };

} // namespace

FileSizeLimitAsError::FileSizeLimitAsError()
{
    struct sigaction ignore { };
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    Installed_ = ::sigaction(SIGXFSZ, &ignore, &Previous) == 0;
}

FileSizeLimitAsError::~FileSizeLimitAsError()
{
    if (Installed_)
        ::sigaction(SIGXFSZ, &Previous, nullptr);
}

} // namespace rv
