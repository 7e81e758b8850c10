#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "rangeview/serial/SerialPlatform.h"

namespace rv {

// The serial ports of the system the program was built for. Each backend folder (linux/, win32/)
// supplies these two functions and the build picks one folder, so nothing else knows which it is.
std::shared_ptr<SerialPlatform> MakeSystemPlatform();

// The device a port name stands for. Linux: a name starting with "/" is used as is, any other
// name gets "/dev/" in front (so an empty name gives "/dev/", which cannot be opened as a port).
// Windows: "\\.\" in front of every name (an empty name gives the bare prefix, which fails).
std::string SystemDevicePath(std::string_view name);

} // namespace rv
