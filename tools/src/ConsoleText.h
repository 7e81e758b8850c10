#pragma once

#include <string_view>

namespace rv {

// Text for a person at a console. The tools' texts are UTF-8; a Windows console shows bytes in
// its own code page (an OEM one, not UTF-8), so there the text goes to the console as UTF-16.
// Files and pipes get the bytes unchanged, as on every other system.

// Makes std::cout and std::cerr write through the console where they are one.
void UseConsoleText();
// Writes text to fd when fd is such a console: true once written. False when fd is no console
// (or the write failed), for the caller to write the bytes itself.
bool WriteConsoleText(int fd, std::string_view text);

} // namespace rv
