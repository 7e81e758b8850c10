#pragma once

#include <string>

namespace rv {

// The system's words for an error code it gave: errno's on Linux, GetLastError()'s on Windows
// (in UTF-8 there). No line break at the end; "error N" for a code the system has no words for.
std::string SystemErrorText(unsigned long code);

} // namespace rv
