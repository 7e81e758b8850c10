#include "PictureFile.h"

#include "FileSizeLimit.h"
#include "RawIo.h"

namespace rv {

namespace {

const char* const NotRegular =
    "not a regular file (a link, a folder, a device or a pipe): a picture replaces only a "
    "regular file";

} // namespace

std::string RefusedPictureName(const std::string& path)
{
    return KindOfName(path) == NameKind::Other ? NotRegular : "";
}

std::string PlacePicture(const std::string& path, std::span<const std::uint8_t> bytes)
{
    if (const std::string refused = RefusedPictureName(path); !refused.empty())
        return refused;
    const FileSizeLimitAsError limit;
    const PendingFile pending = CreateBeside(path);
    if (pending.Fd < 0)
        return LastFailureText();
    // The reason is taken before the clean-up, whose own calls would overwrite it.
    const auto abandon = [&](std::string why) {
        CloseDescriptor(pending.Fd);
        RemoveFile(pending.Path);
        return why;
    };
    if (WriteUpTo(pending.Fd, bytes) != bytes.size())
        return abandon(LastFailureText());
    if (!SyncToStorage(pending.Fd))
        return abandon(LastFailureText());
    CloseDescriptor(pending.Fd);
    const PlaceOutcome placed = PlaceFile(pending.Path, path, true);
    if (placed == PlaceOutcome::Placed)
        return "";
    // Something took the name meanwhile.
    std::string why = placed == PlaceOutcome::Failed ? LastFailureText() : NotRegular;
    RemoveFile(pending.Path);
    return why;
}

} // namespace rv
