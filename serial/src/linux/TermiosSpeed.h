#pragma once

#include <cstddef>
#include <cstdint>

namespace rv::posix {

// The Linux termios2 interface: any integer line speed, input and output speed each, and the
// whole terminal state. Kept apart from <termios.h>, whose declarations clash with the kernel's.

// A terminal's complete settings as the kernel keeps them (speeds included, also a custom one).
struct TerminalState {
    alignas(8) unsigned char Bytes[64] = {};
};

// False with errno set on failure.
bool SaveTerminal(int fd, TerminalState& state);
bool RestoreTerminal(int fd, const TerminalState& state);

// Sets both the input and the output speed to baud bits per second: a standard rate by its
// code, any other as a custom rate.
bool SetLineSpeed(int fd, std::uint32_t baud);
// The speeds the port runs at now, in bits per second.
bool ReadLineSpeeds(int fd, std::uint32_t& input, std::uint32_t& output);

} // namespace rv::posix
