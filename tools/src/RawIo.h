#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace rv {

// Unbuffered reads and writes on the C runtime's descriptors, for input that must be handled as
// it arrives and for lines that other threads must not interleave with. errno says why a call
// failed.
inline constexpr int StandardInputFd = 0;
inline constexpr int StandardErrorFd = 2;

// Opens a file for reading bytes as they are; -1 on failure.
int OpenForReading(const std::string& path);
void CloseDescriptor(int fd);
// Reads what is there, waiting for at least one byte: the count, 0 at the end, -1 on failure.
long ReadSome(int fd, std::span<std::uint8_t> buffer);
// Writes all of text; false on failure.
bool WriteAll(int fd, std::string_view text);
// Makes standard input deliver bytes unchanged.
void UseBinaryStandardInput();

// Hands what the C library has buffered to the system and asks it to put the file on its
// storage, so that a power cut keeps it; false on failure.
bool SyncToStorage(std::FILE* file);

} // namespace rv
