#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "rangeview/tools/ToolError.h"

namespace rv {

// A file the tools read: a recording, a signal's distances, a password file. Read through the
// system's descriptors without a buffer of its own, so the reader chooses its buffer. A failure
// throws ToolError with the system's reason: "PATH: cannot open: REASON", "PATH: cannot read:
// REASON".
class InputFile {
public:
    explicit InputFile(std::string path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Fills buffer, short only at the end of the file; the count.
    std::size_t Read(std::span<std::uint8_t> buffer);
    std::size_t Read(std::span<char> buffer)
    {
        return Read(std::span(reinterpret_cast<std::uint8_t*>(buffer.data()), buffer.size()));
    }
    // Its size now.
    std::uint64_t Size();
    // Reading goes on at offset.
    void SeekTo(std::uint64_t offset);

    const std::string& Path() const noexcept { return Path_; }

private:
    [[noreturn]] void Fail(const char* what);

    std::string Path_;
    int Fd_ = -1;
};

} // namespace rv
