#include "ConsoleText.h"

namespace rv {

// A terminal here takes UTF-8 as it is.
void UseConsoleText()
{
}

bool WriteConsoleText(int, std::string_view)
{
    return false;
}

} // namespace rv
