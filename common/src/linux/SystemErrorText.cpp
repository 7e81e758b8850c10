#include "rangeview/common/SystemErrorText.h"

#include <cstring>

namespace rv {

std::string SystemErrorText(unsigned long code)
{
    // The GNU strerror_r: its own buffer or ours, and safe on any thread.
    char buffer[256];
    const char* text = ::strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    if (text == nullptr || *text == '\0')
        return "error " + std::to_string(code);
    return text;
}

} // namespace rv
