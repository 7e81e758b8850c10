#pragma once

#include <cstdint>

namespace rv::test {

// The terminal's input and output speeds as the kernel keeps them: the C library's termios
// calls report the output speed for both.
bool ReadKernelSpeeds(int fd, std::uint32_t& input, std::uint32_t& output);
bool SetKernelSpeeds(int fd, std::uint32_t input, std::uint32_t output);

} // namespace rv::test
