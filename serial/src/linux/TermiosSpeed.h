#pragma once

#include <cstdint>

namespace rv::posix {

// Any integer line speed through the Linux termios2 interface. Kept apart from <termios.h>,
// whose declarations clash with the kernel's.
bool SetCustomSpeed(int fd, std::uint32_t baud);
// The speed the port runs at now, as a number of bits per second.
bool ReadSpeed(int fd, std::uint32_t& baud);

} // namespace rv::posix
