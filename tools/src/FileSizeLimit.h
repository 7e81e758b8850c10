#pragma once

namespace rv {

// While it lives, a write past the file-size limit (ulimit -f) fails with the system's "File too
// large" instead of ending the process without a word; where the system has no such limit it
// does nothing. For a command that writes a file outside the monitor's loop, which has its own;
// one at a time per process.
class FileSizeLimitAsError {
public:
    FileSizeLimitAsError();
    ~FileSizeLimitAsError();
    FileSizeLimitAsError(const FileSizeLimitAsError&) = delete;
    FileSizeLimitAsError& operator=(const FileSizeLimitAsError&) = delete;

private:
    bool Installed_ = false;
};

} // namespace rv
