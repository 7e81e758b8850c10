#include "rangeview/tools/InputFile.h"

#include "RawIo.h"

namespace rv {

InputFile::InputFile(std::string path) : Path_(std::move(path))
{
    Fd_ = OpenForReading(Path_);
    if (Fd_ < 0)
        Fail("cannot open");
}

InputFile::~InputFile()
{
    CloseDescriptor(Fd_);
}

void InputFile::Fail(const char* what)
{
    throw ToolError(Path_ + ": " + what + ": " + LastFailureText());
}

std::size_t InputFile::Read(std::span<std::uint8_t> buffer)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        const long got = ReadSome(Fd_, buffer.subspan(done));
        if (got < 0)
            Fail("cannot read");
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::uint64_t InputFile::Size()
{
    const std::int64_t size = FileSize(Fd_);
    if (size < 0)
        Fail("cannot read");
    return static_cast<std::uint64_t>(size);
}

void InputFile::SeekTo(std::uint64_t offset)
{
    if (!rv::SeekTo(Fd_, offset))
        Fail("cannot read");
}

} // namespace rv
