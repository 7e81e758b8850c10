#pragma once

#include <cstdint>

#include <csignal>
#include <sys/resource.h>

namespace rv::test {

// Lowers this process's file-size limit (ulimit -f) while it lives, with SIGXFSZ ignored as the
// monitor ignores it, so that a write past the limit fails with EFBIG: a disk that fills up,
// on any file system. Ok is false when the limit could not be set.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uint64_t bytes)
    {
        struct sigaction ignore { };
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGXFSZ, &ignore, &OldAction_);
        if (::getrlimit(RLIMIT_FSIZE, &Old_) != 0)
            return;
        rlimit lower = Old_;
        lower.rlim_cur = static_cast<rlim_t>(bytes);
        Ok = ::setrlimit(RLIMIT_FSIZE, &lower) == 0;
    }
    ~FileSizeLimit()
    {
        if (Ok)
            ::setrlimit(RLIMIT_FSIZE, &Old_);
        ::sigaction(SIGXFSZ, &OldAction_, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool Ok = false;

private:
    rlimit Old_{};
    struct sigaction OldAction_ { };
};

} // namespace rv::test
