#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "rangeview/serial/SerialPlatform.h"

namespace rv {

// Serial ports as POSIX terminals (Linux).
std::shared_ptr<SerialPlatform> MakePosixPlatform();

// The device a port name stands for: a name starting with "/" is used as is, any other name gets
// "/dev/" in front (so an empty name gives "/dev/", which cannot be opened as a port).
std::string PosixDevicePath(std::string_view name);

} // namespace rv
