// Putting a finished picture at its name.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace rv {

// Why a picture cannot go to path, known before it is drawn: the name is a link, a folder, a
// device or a pipe. "" when it is free or a regular file.
std::string RefusedPictureName(const std::string& path);

// Gives path the bytes, whole or not at all: they are written to a new file beside it, put on
// the storage and then renamed over the name in one step, so that the name holds either the
// picture it held before or the whole new one. A regular file there is replaced; a link (or what
// it points to) or anything else never. Returns the system's reason it could not, or "".
std::string PlacePicture(const std::string& path, std::span<const std::uint8_t> bytes);

} // namespace rv
